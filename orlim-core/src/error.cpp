#include "orlim_core/error.hpp"

#include <cstring>

namespace orlim_core {

std::string describe_os_error(std::error_code ec) {
    if (ec.category() == std::system_category() || ec.category() == std::generic_category()) {
        return std::string(std::strerror(ec.value())) + " (os error " + std::to_string(ec.value()) +
               ")";
    }
    return ec.message();
}

OrlimError OrlimError::io(std::error_code ec) {
    return {ErrorKind::IoError, describe_os_error(ec), ec};
}

std::string OrlimError::display() const {
    const char* prefix = "";
    switch (kind) {
    case ErrorKind::GdsError:
        prefix = "GDS file error: ";
        break;
    case ErrorKind::IoError:
        prefix = "IO error: ";
        break;
    case ErrorKind::MetadataParseError:
        prefix = "Failed to parse metadata: ";
        break;
    case ErrorKind::CellNotFound:
        prefix = "Cell not found: ";
        break;
    case ErrorKind::SerializationError:
        prefix = "Serialization error: ";
        break;
    case ErrorKind::ParseError:
        prefix = "Parse error: ";
        break;
    }
    return prefix + message;
}

} // namespace orlim_core
