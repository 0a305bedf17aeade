// The one error type of the core; every fallible operation returns Result<T>.
#pragma once

#include <expected>
#include <string>
#include <system_error>

namespace orlim_core {

enum class ErrorKind {
    GdsError,
    IoError,
    MetadataParseError,
    CellNotFound,
    SerializationError,
    ParseError,
};

struct OrlimError {
    ErrorKind kind;
    std::string message;   // the payload's text (for IoError, the file-system error's text)
    std::error_code cause; // IoError only: the underlying file-system error

    static OrlimError gds(std::string m) { return {ErrorKind::GdsError, std::move(m), {}}; }
    static OrlimError io(std::error_code ec);
    static OrlimError metadata(std::string m) {
        return {ErrorKind::MetadataParseError, std::move(m), {}};
    }
    static OrlimError cell_not_found(std::string m) {
        return {ErrorKind::CellNotFound, std::move(m), {}};
    }
    static OrlimError serialization(std::string m) {
        return {ErrorKind::SerializationError, std::move(m), {}};
    }
    static OrlimError parse(std::string m) { return {ErrorKind::ParseError, std::move(m), {}}; }

    // "GDS file error: ...", "IO error: ...", and so on.
    std::string display() const;
};

template <class T> using Result = std::expected<T, OrlimError>;
using Unexpected = std::unexpected<OrlimError>;

// Text of a file-system error: "No such file or directory (os error 2)".
std::string describe_os_error(std::error_code ec);

} // namespace orlim_core
