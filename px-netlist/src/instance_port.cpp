#include <charconv>

#include "px_netlist/netlist.hpp"

namespace px_netlist {

namespace {

// Length of a Unicode white-space character at s[i], or 0.
std::size_t space_at(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) {
        return 1;
    }
    auto rest = s.substr(i);
    // U+0085, U+00A0
    if (rest.starts_with("\xC2\x85") || rest.starts_with("\xC2\xA0")) {
        return 2;
    }
    if (rest.size() >= 3 && c == 0xE1 && rest.starts_with("\xE1\x9A\x80")) { // U+1680
        return 3;
    }
    if (rest.size() >= 3 && c == 0xE2) {
        const auto b1 = static_cast<unsigned char>(rest[1]);
        const auto b2 = static_cast<unsigned char>(rest[2]);
        // U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
        if (b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) {
            return 3;
        }
        if (b1 == 0x81 && b2 == 0x9F) {
            return 3;
        }
    }
    if (rest.starts_with("\xE3\x80\x80")) { // U+3000
        return 3;
    }
    return 0;
}

std::size_t space_before(std::string_view s, std::size_t end) {
    for (std::size_t n = 1; n <= 3 && n <= end; ++n) {
        if (space_at(s, end - n) == n) {
            return n;
        }
    }
    return 0;
}

std::string_view trim(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size()) {
        const std::size_t n = space_at(s, b);
        if (n == 0) {
            break;
        }
        b += n;
    }
    std::size_t e = s.size();
    while (e > b) {
        const std::size_t n = space_before(s, e);
        if (n == 0) {
            break;
        }
        e -= n;
    }
    return s.substr(b, e - b);
}

} // namespace

std::expected<InstancePort, std::string> InstancePort::parse(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        return std::unexpected("Invalid InstancePort format: '" + std::string(text) +
                               "' (expected 'instance,port')");
    }
    return InstancePort{std::string(trim(text.substr(0, comma))),
                        std::string(trim(text.substr(comma + 1)))};
}

std::string InstancePort::to_string() const {
    std::string s;
    s.reserve(instance.size() + port.size() + 1);
    s += instance;
    s += ',';
    s += port;
    return s;
}

std::string default_routing_strategy() {
    return "route_bundle";
}

void array_element_name(std::string& out, std::string_view base, std::uint64_t column,
                        std::uint64_t row) {
    char digits[24];
    out.assign(base);
    out.push_back('<');
    out.append(digits, std::to_chars(digits, digits + sizeof digits, column).ptr);
    out.push_back('.');
    out.append(digits, std::to_chars(digits, digits + sizeof digits, row).ptr);
    out.push_back('>');
}

} // namespace px_netlist
