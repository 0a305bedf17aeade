#include "orlim_core/strings.hpp"

#include <algorithm>
#include <cstring>

namespace orlim_core {

std::string_view StringArena::store(std::string_view s) {
    if (s.size() > capacity_ - used_) {
        const std::size_t size = std::max<std::size_t>(s.size(), 1 << 16);
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        used_ = 0;
        capacity_ = size;
    }
    char* dst = chunks_.back().get() + used_;
    if (!s.empty()) {
        std::memcpy(dst, s.data(), s.size());
    }
    used_ += s.size();
    return {dst, s.size()};
}

} // namespace orlim_core
