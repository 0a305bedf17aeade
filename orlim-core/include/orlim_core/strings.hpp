// Small string utilities shared by the core: transparent hashing and a stable string arena.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tsl/ordered_map.h>

namespace orlim_core {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};
struct StringEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Insertion-ordered map with text keys and lookup by string_view.
template <class T> using OrderedMap = tsl::ordered_map<std::string, T, StringHash, StringEq>;

// Owns copies of strings at stable addresses; views stay valid while the arena lives, also
// after the arena is moved.
class StringArena {
public:
    std::string_view store(std::string_view s);

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace orlim_core
