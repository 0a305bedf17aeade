// Small string utilities shared by the core: transparent hashing and a stable string arena.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "px_netlist/netlist.hpp"

namespace orlim_core {

using px_netlist::StringEq;
using px_netlist::StringHash;

// Insertion-ordered map with text keys and lookup by string_view.
template <class T> using OrderedMap = px_netlist::OrderedMap<T>;

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
