#include "orlim_cli/cli.hpp"

#include "orlim_core/io.hpp"

namespace orlim_cli {

std::error_code write_output(const std::optional<std::string>& output, std::string_view text,
                             std::string_view label, Streams io) {
    if (!output) {
        std::fwrite(text.data(), 1, text.size(), io.out);
        std::fputc('\n', io.out);
        std::fflush(io.out);
        return {};
    }
    if (std::error_code ec = orlim_core::write_file_text(*output, text)) {
        return ec;
    }
    std::fprintf(io.err, "Wrote %.*s to %s\n", static_cast<int>(label.size()), label.data(),
                 output->c_str());
    std::fflush(io.err);
    return {};
}

} // namespace orlim_cli
