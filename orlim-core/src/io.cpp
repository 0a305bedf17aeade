#include "orlim_core/io.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlim_core {

void FileBytes::Free::operator()(unsigned char* p) const noexcept {
    std::free(p);
}

FileBytes FileBytes::allocate(std::size_t n) {
    constexpr std::size_t huge = std::size_t{2} << 20;
    FileBytes b;
    b.size = n;
    unsigned char* p = nullptr;
    if (n >= 4 * huge) {
        const std::size_t rounded = (n + 1 + huge - 1) / huge * huge;
        p = static_cast<unsigned char*>(std::aligned_alloc(huge, rounded));
        if (p != nullptr) {
            ::madvise(p, rounded, MADV_HUGEPAGE); // advisory: failure only costs speed
        }
    } else {
        p = static_cast<unsigned char*>(std::malloc(n + 1));
    }
    if (p == nullptr) {
        b.size = 0;
    }
    b.data.reset(p);
    return b;
}

FileBytes FileBytes::copy_of(const void* p, std::size_t n) {
    FileBytes b = allocate(n);
    if (n != 0 && b.data) {
        std::memcpy(b.data.get(), p, n);
    }
    return b;
}

namespace {

std::error_code last_error() {
    return {errno, std::system_category()};
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Reads exactly n bytes unless the file ends first; returns the count read.
std::expected<std::size_t, std::error_code> read_all(int fd, unsigned char* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, out + done, n - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(last_error());
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace

std::expected<FileBytes, std::error_code> read_file_bytes(const std::filesystem::path& path) {
    Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0) {
        return std::unexpected(last_error());
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) {
        return std::unexpected(last_error());
    }
    if (S_ISDIR(st.st_mode)) {
        return std::unexpected(std::make_error_code(std::errc::is_a_directory));
    }
    if (S_ISREG(st.st_mode)) {
        FileBytes bytes = FileBytes::allocate(static_cast<std::size_t>(st.st_size));
        if (!bytes.data) {
            return std::unexpected(std::make_error_code(std::errc::not_enough_memory));
        }
        auto got = read_all(f.fd, bytes.data.get(), bytes.size);
        if (!got) {
            return std::unexpected(got.error());
        }
        bytes.size = *got; // the file may have shrunk meanwhile
        return bytes;
    }
    // Pipes and other streams: read in growing chunks.
    std::size_t cap = 1 << 16;
    FileBytes bytes = FileBytes::allocate(cap);
    bytes.size = 0;
    for (;;) {
        if (bytes.size == cap) {
            FileBytes grown = FileBytes::allocate(cap * 2);
            if (!grown.data) {
                return std::unexpected(std::make_error_code(std::errc::not_enough_memory));
            }
            std::memcpy(grown.data.get(), bytes.data.get(), bytes.size);
            grown.size = bytes.size;
            bytes = std::move(grown);
            cap *= 2;
        }
        auto got = read_all(f.fd, bytes.data.get() + bytes.size, cap - bytes.size);
        if (!got) {
            return std::unexpected(got.error());
        }
        if (*got == 0) {
            return bytes;
        }
        bytes.size += *got;
    }
}

std::expected<std::string, std::error_code> read_file_text(const std::filesystem::path& path) {
    auto bytes = read_file_bytes(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    return std::string(reinterpret_cast<const char*>(bytes->data.get()), bytes->size);
}

std::error_code write_file_text(const std::filesystem::path& path, std::string_view text) {
    Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (f.fd < 0) {
        return last_error();
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(f.fd, text.data() + done, text.size() - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return last_error();
        }
        done += static_cast<std::size_t>(put);
    }
    if (::close(f.fd) != 0) {
        f.fd = -1;
        return last_error();
    }
    f.fd = -1;
    return {};
}

} // namespace orlim_core
