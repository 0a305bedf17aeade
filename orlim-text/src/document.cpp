#include "orlim_text/document.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "orlim_text/writer.hpp"

namespace orlim_text {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_of(std::string_view s, bool (*pred)(char)) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!pred(c)) {
            return false;
        }
    }
    return true;
}

bool is_hex(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_octal(char c) {
    return c >= '0' && c <= '7';
}

// [-+]?(\.[0-9]+|[0-9]+(\.[0-9]*)?)([eE][-+]?[0-9]+)?
bool is_core_float(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < s.size() && is_digit(s[i])) {
        ++i;
        ++int_digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) {
            ++i;
            ++frac_digits;
        }
        if (int_digits == 0 && frac_digits == 0) {
            return false;
        }
    } else if (int_digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        std::size_t exp_digits = 0;
        while (i < s.size() && is_digit(s[i])) {
            ++i;
            ++exp_digits;
        }
        if (exp_digits == 0) {
            return false;
        }
    }
    return i == s.size();
}

bool is_special_float(std::string_view s) {
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        body.remove_prefix(1);
    }
    if (body == ".inf" || body == ".Inf" || body == ".INF") {
        return true;
    }
    return s == ".nan" || s == ".NaN" || s == ".NAN";
}

// Decimal, 0x or 0o integers of the core schema as (negative, magnitude); false on overflow.
bool parse_core_int(std::string_view s, bool& negative, std::uint64_t& magnitude) {
    negative = false;
    int base = 10;
    if (s.starts_with("0x")) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.starts_with("0o")) {
        base = 8;
        s.remove_prefix(2);
    } else if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    return r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

double parse_core_double(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    double v = 0.0;
    if (s == ".inf" || s == ".Inf" || s == ".INF") {
        v = std::numeric_limits<double>::infinity();
    } else if (s == ".nan" || s == ".NaN" || s == ".NAN") {
        v = std::numeric_limits<double>::quiet_NaN();
    } else if (s.starts_with("0x") || s.starts_with("0o")) {
        // An integer too large for 64 bits.
        const int base = s[1] == 'x' ? 16 : 8;
        for (char c : s.substr(2)) {
            const int d = is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
            v = v * base + d;
        }
    } else {
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (r.ec == std::errc::result_out_of_range) {
            // Overflow gives infinity, underflow zero, as a YAML reader's float conversion does.
            bool tiny = false;
            const auto e = s.find_first_of("eE");
            tiny = e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
            v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        }
    }
    return negative ? -v : v;
}

} // namespace

NodeKind yaml_core_kind(std::string_view s) {
    if (s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL") {
        return NodeKind::Null;
    }
    if (s == "true" || s == "True" || s == "TRUE" || s == "false" || s == "False" || s == "FALSE") {
        return NodeKind::Bool;
    }
    const char c0 = s[0];
    if (!is_digit(c0) && c0 != '-' && c0 != '+' && c0 != '.') {
        return NodeKind::String;
    }
    if (s.starts_with("0x") && all_of(s.substr(2), is_hex)) {
        bool neg;
        std::uint64_t m;
        return parse_core_int(s, neg, m) ? NodeKind::UInt : NodeKind::Float;
    }
    if (s.starts_with("0o") && all_of(s.substr(2), is_octal)) {
        bool neg;
        std::uint64_t m;
        return parse_core_int(s, neg, m) ? NodeKind::UInt : NodeKind::Float;
    }
    std::string_view digits = s;
    if (c0 == '-' || c0 == '+') {
        digits.remove_prefix(1);
    }
    if (all_of(digits, is_digit)) {
        bool neg;
        std::uint64_t m;
        if (!parse_core_int(s, neg, m)) {
            return NodeKind::Float;
        }
        if (!neg || m == 0) {
            return NodeKind::UInt;
        }
        return m <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                   ? NodeKind::Int
                   : NodeKind::Float;
    }
    if (is_core_float(s) || is_special_float(s)) {
        return NodeKind::Float;
    }
    return NodeKind::String;
}

bool Document::scalar_text(NodeId id, std::string_view& out) const {
    const Node& n = nodes_[id];
    if (n.kind == NodeKind::String || (n.flags & kText) != 0) {
        out = std::string_view(strings_).substr(n.text.start, n.text.length);
        return true;
    }
    return false;
}

std::string_view Document::string(NodeId id) const {
    const Node& n = nodes_[id];
    return std::string_view(strings_).substr(n.text.start, n.text.length);
}

std::int64_t Document::as_int(NodeId id) const {
    const Node& n = nodes_[id];
    if ((n.flags & kText) == 0) {
        return n.kind == NodeKind::UInt ? static_cast<std::int64_t>(n.u) : n.i;
    }
    bool neg;
    std::uint64_t m = 0;
    parse_core_int(string(id), neg, m);
    return neg ? static_cast<std::int64_t>(0 - m) : static_cast<std::int64_t>(m);
}

std::uint64_t Document::as_uint(NodeId id) const {
    const Node& n = nodes_[id];
    if ((n.flags & kText) == 0) {
        return n.kind == NodeKind::Int ? static_cast<std::uint64_t>(n.i) : n.u;
    }
    bool neg;
    std::uint64_t m = 0;
    parse_core_int(string(id), neg, m);
    return m;
}

double Document::as_double(NodeId id) const {
    const Node& n = nodes_[id];
    switch (n.kind) {
    case NodeKind::Int:
        return static_cast<double>(as_int(id));
    case NodeKind::UInt:
        return static_cast<double>(as_uint(id));
    case NodeKind::Float:
        return (n.flags & kText) != 0 ? parse_core_double(string(id)) : n.f;
    default:
        return 0.0;
    }
}

bool Document::as_bool(NodeId id) const {
    const Node& n = nodes_[id];
    if ((n.flags & kText) == 0) {
        return n.b;
    }
    const std::string_view s = string(id);
    return s == "true" || s == "True" || s == "TRUE";
}

ReadResult<nlohmann::json> Document::to_value(NodeId id) const {
    using nlohmann::json;
    const Node& n = nodes_[id];
    switch (n.kind) {
    case NodeKind::Null:
        return json(nullptr);
    case NodeKind::Bool:
        return json(as_bool(id));
    case NodeKind::Int:
        return json(as_int(id));
    case NodeKind::UInt:
        return json(as_uint(id));
    case NodeKind::Float:
        return json(as_double(id));
    case NodeKind::String:
        return json(std::string(string(id)));
    case NodeKind::Seq: {
        json out = json::array();
        auto items = children(id);
        out.get_ref<json::array_t&>().reserve(items.size());
        for (NodeId item : items) {
            auto v = to_value(item);
            if (!v) {
                return v;
            }
            out.push_back(std::move(*v));
        }
        return out;
    }
    case NodeKind::Map: {
        json out = json::object();
        auto& obj = out.get_ref<json::object_t&>();
        auto kids = children(id);
        for (std::size_t k = 0; k + 1 < kids.size(); k += 2) {
            std::string_view key;
            if (!scalar_text(kids[k], key)) {
                return std::unexpected(type_error(kids[k], "a string"));
            }
            auto v = to_value(kids[k + 1]);
            if (!v) {
                return v;
            }
            obj.insert_or_assign(std::string(key), std::move(*v));
        }
        return out;
    }
    }
    return json(nullptr);
}

ReadResult<void> Document::check_value(NodeId id) const {
    if (json_) {
        return {}; // JSON keys are always strings
    }
    const Node& n = nodes_[id];
    if (n.kind == NodeKind::Seq) {
        for (NodeId item : children(id)) {
            if (auto r = check_value(item); !r) {
                return r;
            }
        }
    } else if (n.kind == NodeKind::Map) {
        auto kids = children(id);
        for (std::size_t k = 0; k + 1 < kids.size(); k += 2) {
            if (!is_scalar(kids[k])) {
                return std::unexpected(type_error(kids[k], "a string"));
            }
            if (auto r = check_value(kids[k + 1]); !r) {
                return r;
            }
        }
    }
    return {};
}

std::string Document::where(NodeId id) const {
    const std::size_t offset = std::min<std::size_t>(nodes_[id].offset, source_.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        const char c = source_[i];
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

ReadError Document::error(NodeId id, std::string_view message) const {
    return {std::string(message) + where(id)};
}

std::string Document::describe(NodeId id) const {
    const Node& n = nodes_[id];
    std::string_view text;
    const bool has_text = (n.flags & kText) != 0 && scalar_text(id, text);
    switch (n.kind) {
    case NodeKind::Null:
        return "null";
    case NodeKind::Bool:
        return std::string("boolean `") + (as_bool(id) ? "true" : "false") + "`";
    case NodeKind::Int:
        return "integer `" + (has_text ? std::string(text) : std::to_string(as_int(id))) + "`";
    case NodeKind::UInt:
        return "integer `" + (has_text ? std::string(text) : std::to_string(as_uint(id))) + "`";
    case NodeKind::Float:
        return "floating point `" + (has_text ? std::string(text) : format_double(as_double(id))) +
               "`";
    case NodeKind::String: {
        std::string s = std::string(string(id));
        if (s.size() > 64) {
            s = s.substr(0, 64) + "...";
        }
        return "string \"" + s + "\"";
    }
    case NodeKind::Seq:
        return "sequence";
    case NodeKind::Map:
        return "map";
    }
    return "value";
}

ReadError Document::type_error(NodeId id, std::string_view expected) const {
    return error(id, "invalid type: " + describe(id) + ", expected " + std::string(expected));
}

} // namespace orlim_text
