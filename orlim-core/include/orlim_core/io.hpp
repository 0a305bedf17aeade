// Whole-file reading and writing.
#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace orlim_core {

// A file's bytes, read in one go into a buffer that is not zero-filled first. Large buffers
// sit on huge pages where the system offers them, which makes filling them much cheaper.
struct FileBytes {
    struct Free {
        void operator()(unsigned char* p) const noexcept;
    };
    std::unique_ptr<unsigned char[], Free> data;
    std::size_t size = 0;

    // A buffer for n bytes (plus one spare byte), contents undefined; data is null when
    // the memory cannot be had.
    static FileBytes allocate(std::size_t n);
    // A copy of n bytes.
    static FileBytes copy_of(const void* p, std::size_t n);
};

// Reads a regular file whole. A directory gives std::errc::is_a_directory.
std::expected<FileBytes, std::error_code> read_file_bytes(const std::filesystem::path& path);
std::expected<std::string, std::error_code> read_file_text(const std::filesystem::path& path);

// Creates or truncates the file and writes the text exactly.
std::error_code write_file_text(const std::filesystem::path& path, std::string_view text);

} // namespace orlim_core
