#include "orlim_core/gds/metadata.hpp"

#include <charconv>
#include <unordered_map>

#include <re2/re2.h>

#include "orlim_text/writer.hpp"

namespace orlim_core::gds::metadata {

namespace {

struct Patterns {
    // Decimal digits of any script are matched; only ASCII digits convert to numbers.
    RE2 port_header{R"(zindel:ports:(\p{Nd}+)'\)=\{)"};
    RE2 name{R"('name'=>'([^']+)')"};
    RE2 trans{R"('trans'=>\[trans:r(\p{Nd}+) (-?\p{Nd}+),(-?\p{Nd}+)\])"};
    RE2 port_type{R"('port_type'=>'([^']+)')"};
    RE2 cross_section{R"('cross_section'=>'([^']+)')"};
    RE2 cross_section_header{R"(zindel:cross_section:([^']+)'\)=\{)"};
    RE2 width{R"('width'=>#l(\p{Nd}+))"};
};

const Patterns& patterns() {
    static const Patterns p; // compiled once per process, thread-safe initialisation
    return p;
}

// Text from pos up to the next NUL (or the end).
std::string_view segment_at(std::string_view text, std::size_t pos) {
    const std::size_t nul = text.find('\0', pos);
    return text.substr(pos, nul == std::string_view::npos ? std::string_view::npos : nul - pos);
}

template <class T> std::optional<T> to_int(std::string_view s) {
    T v{};
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || ptr != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

// Calls f(match_start) for each non-overlapping match of re in text, left to right.
template <class F> void for_each_match(const RE2& re, std::string_view text, F&& f) {
    re2::StringPiece input(text.data(), text.size());
    re2::StringPiece whole;
    std::size_t pos = 0;
    while (pos <= text.size() && re.Match(input, pos, text.size(), RE2::UNANCHORED, &whole, 1)) {
        const auto start = static_cast<std::size_t>(whole.data() - text.data());
        f(start);
        pos = start + whole.size();
        if (whole.empty()) {
            ++pos;
        }
    }
}

std::optional<std::string_view> capture1(const RE2& re, std::string_view segment) {
    re2::StringPiece in(segment.data(), segment.size());
    re2::StringPiece group;
    if (!RE2::PartialMatch(in, re, &group)) {
        return std::nullopt;
    }
    return std::string_view(group.data(), group.size());
}

} // namespace

Result<std::vector<RawPort>> parse_ports_from_properties(std::string_view bytes) {
    std::string decoded;
    std::string_view text = bytes;
    if (!orlim_text::is_valid_utf8(bytes)) {
        decoded = orlim_text::to_valid_utf8(bytes);
        text = decoded;
    }
    const Patterns& p = patterns();

    std::unordered_map<std::string, std::int64_t> widths;
    for_each_match(p.cross_section_header, text, [&](std::size_t start) {
        const std::string_view seg = segment_at(text, start);
        auto name = capture1(p.cross_section_header, seg);
        if (!name) {
            return;
        }
        auto digits = capture1(p.width, seg);
        if (!digits) {
            return;
        }
        auto width = to_int<std::int64_t>(*digits);
        if (!width) {
            return;
        }
        widths.insert_or_assign(std::string(*name), *width);
    });

    std::vector<RawPort> ports;
    for_each_match(p.port_header, text, [&](std::size_t start) {
        const std::string_view seg = segment_at(text, start);
        auto name = capture1(p.name, seg);
        if (!name) {
            return;
        }
        RawPort port;
        port.name = std::string(*name);
        re2::StringPiece in(seg.data(), seg.size());
        re2::StringPiece rot, x, y;
        if (RE2::PartialMatch(in, p.trans, &rot, &x, &y)) {
            port.rotation = to_int<std::int32_t>({rot.data(), rot.size()}).value_or(0);
            port.x = to_int<std::int64_t>({x.data(), x.size()}).value_or(0);
            port.y = to_int<std::int64_t>({y.data(), y.size()}).value_or(0);
        }
        if (auto t = capture1(p.port_type, seg)) {
            port.port_type = std::string(*t);
        }
        if (auto xs = capture1(p.cross_section, seg)) {
            port.cross_section = std::string(*xs);
            if (auto it = widths.find(port.cross_section.value()); it != widths.end()) {
                port.width = it->second;
            }
        }
        ports.push_back(std::move(port));
    });
    return ports;
}

} // namespace orlim_core::gds::metadata
