#include "orlim_text/writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace orlim_text {

void Writer::value(const nlohmann::json& v) {
    using T = nlohmann::json::value_t;
    switch (v.type()) {
    case T::object:
        begin_map();
        for (const auto& [k, item] : v.items()) {
            key(k);
            value(item);
        }
        end_map();
        break;
    case T::array:
        begin_seq();
        for (const auto& item : v) {
            value(item);
        }
        end_seq();
        break;
    case T::string:
        string(v.get_ref<const std::string&>());
        break;
    case T::boolean:
        boolean(v.get<bool>());
        break;
    case T::number_integer:
        integer(v.get<std::int64_t>());
        break;
    case T::number_unsigned:
        unsigned_integer(v.get<std::uint64_t>());
        break;
    case T::number_float:
        real(v.get<double>());
        break;
    case T::null:
    case T::discarded:
    case T::binary:
        null();
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// YAML

namespace {

struct Char {
    std::uint32_t cp;
    std::size_t len;
};

// Decodes one code point of valid UTF-8 (the writer sanitises its input first).
Char decode(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t n = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : 2;
    std::uint32_t cp = b0 & (0x3F >> (n - 1));
    for (std::size_t k = 1; k < n && i + k < s.size(); ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    return {cp, n};
}

bool is_break(std::uint32_t c) {
    return c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029;
}
bool is_blank_or_end(std::uint32_t c) {
    return c == ' ' || c == '\t' || c == 0 || is_break(c);
}
bool is_printable(std::uint32_t c) {
    return c == 0x0A || (c >= 0x20 && c <= 0x7E) || c == 0x85 || (c >= 0xA0 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD && c != 0xFEFF) || (c >= 0x10000 && c <= 0x10FFFF);
}

enum class Style { Plain, SingleQuoted, DoubleQuoted, Literal };

struct Analysis {
    bool plain_allowed = true;
    bool single_allowed = true;
    bool block_allowed = true;
    bool multiline = false;
};

Analysis analyze(std::string_view s) {
    Analysis a;
    if (s.empty()) {
        a.plain_allowed = false;
        a.block_allowed = false;
        return a;
    }
    bool block_indicators = s.starts_with("---") || s.starts_with("...");
    bool leading_space = false, leading_break = false, trailing_space = false,
         trailing_break = false, break_space = false, space_break = false, special = false,
         previous_space = false, previous_break = false;
    bool preceded_by_ws = true;
    Char c = decode(s, 0);
    bool followed_by_ws = c.len >= s.size() || is_blank_or_end(decode(s, c.len).cp);
    for (std::size_t i = 0; i < s.size();) {
        c = decode(s, i);
        const bool first = i == 0;
        const bool last = i + c.len >= s.size();
        const std::uint32_t ch = c.cp;
        if (first) {
            if (std::string_view("#,[]{}&*!|>'\"%@`").find(static_cast<char>(ch)) !=
                    std::string_view::npos &&
                ch < 0x80) {
                block_indicators = true;
            }
            if ((ch == '?' || ch == ':') && followed_by_ws) {
                block_indicators = true;
            }
            if (ch == '-' && followed_by_ws) {
                block_indicators = true;
            }
        } else {
            if (ch == ':' && followed_by_ws) {
                block_indicators = true;
            }
            if (ch == '#' && preceded_by_ws) {
                block_indicators = true;
            }
        }
        if (!is_printable(ch)) {
            special = true;
        }
        if (is_break(ch)) {
            a.multiline = true;
        }
        if (ch == ' ') {
            leading_space |= first;
            trailing_space |= last;
            break_space |= previous_break;
            previous_space = true;
            previous_break = false;
        } else if (is_break(ch)) {
            leading_break |= first;
            trailing_break |= last;
            space_break |= previous_space;
            previous_break = true;
            previous_space = false;
        } else {
            previous_space = previous_break = false;
        }
        preceded_by_ws = is_blank_or_end(ch);
        i += c.len;
        if (i < s.size()) {
            const Char next = decode(s, i);
            followed_by_ws =
                i + next.len >= s.size() || is_blank_or_end(decode(s, i + next.len).cp);
        }
    }
    if (leading_space || leading_break || trailing_space || trailing_break) {
        a.plain_allowed = false;
    }
    if (trailing_space) {
        a.block_allowed = false;
    }
    if (break_space) {
        a.plain_allowed = false;
        a.single_allowed = false;
    }
    if (space_break || special) {
        a.plain_allowed = false;
        a.single_allowed = false;
        a.block_allowed = false;
    }
    if (a.multiline || block_indicators) {
        a.plain_allowed = false;
    }
    return a;
}

void write_single_quoted(std::string& out, std::string_view s) {
    out.push_back('\'');
    for (char c : s) {
        if (c == '\'') {
            out.push_back('\'');
        }
        out.push_back(c);
    }
    out.push_back('\'');
}

void write_double_quoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (std::size_t i = 0; i < s.size();) {
        const Char c = decode(s, i);
        const std::uint32_t ch = c.cp;
        if (!is_printable(ch) || ch == 0xFEFF || is_break(ch) || ch == '"' || ch == '\\') {
            out.push_back('\\');
            // clang-format off
            switch (ch) {
            case 0x00: out.push_back('0'); break;
            case 0x07: out.push_back('a'); break;
            case 0x08: out.push_back('b'); break;
            case 0x09: out.push_back('t'); break;
            case 0x0A: out.push_back('n'); break;
            case 0x0B: out.push_back('v'); break;
            case 0x0C: out.push_back('f'); break;
            case 0x0D: out.push_back('r'); break;
            case 0x1B: out.push_back('e'); break;
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case 0x85: out.push_back('N'); break;
            case 0xA0: out.push_back('_'); break;
            case 0x2028: out.push_back('L'); break;
            case 0x2029: out.push_back('P'); break;
            // clang-format on
            default: {
                char buf[16];
                if (ch <= 0xFF) {
                    std::snprintf(buf, sizeof buf, "x%02X", ch);
                } else if (ch <= 0xFFFF) {
                    std::snprintf(buf, sizeof buf, "u%04X", ch);
                } else {
                    std::snprintf(buf, sizeof buf, "U%08X", ch);
                }
                out += buf;
            }
            }
        } else {
            out.append(s, i, c.len);
        }
        i += c.len;
    }
    out.push_back('"');
}

// Texts that every reader takes back as the same string when written plain: printable
// ASCII without spaces or colons, starting with a letter, and no null or boolean word. Most
// names are such; the full analysis handles the rest.
bool simple_plain(std::string_view s) {
    if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) {
        return false;
    }
    for (const char c : s) {
        if (c <= ' ' || c > '~' || c == ':') {
            return false;
        }
    }
    return !((s.size() == 4 || s.size() == 5) && yaml_plain_is_non_string(s));
}

} // namespace

YamlWriter::YamlWriter(std::size_t expected_size) {
    out_.reserve(std::max<std::size_t>(expected_size, 4096));
}

void YamlWriter::write_indent(int n) {
    if (inline_) {
        inline_ = false;
        return;
    }
    out_.append(static_cast<std::size_t>(n), ' ');
}

// Positions the output for a child of the innermost collection (a key, an item marker).
void YamlWriter::start_child() {
    Frame& f = stack_.back();
    if (f.pending_newline) {
        out_.push_back('\n');
        f.pending_newline = false;
    }
    ++f.count;
}

void YamlWriter::begin_collection(bool is_map) {
    Frame f{is_map, false, false, 0, 0};
    if (stack_.empty()) {
        f.indent = 0;
    } else if (stack_.back().is_map) {
        Frame& parent = stack_.back();
        if (parent.complex_key) {
            // ": " then the collection continues the line, like a sequence item.
            out_.push_back(' ');
            f.indent = parent.indent + 2;
            inline_ = true;
            parent.complex_key = false;
        } else {
            // After "key:": a mapping goes one level in; a sequence stays at the key's column.
            f.indent = is_map ? parent.indent + 2 : parent.indent;
            f.pending_newline = true;
        }
        after_key_ = false;
    } else {
        Frame& parent = stack_.back();
        start_child();
        write_indent(parent.indent);
        out_ += "- ";
        inline_ = true;
        f.indent = parent.indent + 2;
    }
    stack_.push_back(f);
}

void YamlWriter::end_collection() {
    const Frame f = stack_.back();
    stack_.pop_back();
    if (f.count != 0) {
        return;
    }
    const char* empty = f.is_map ? "{}" : "[]";
    if (f.pending_newline) {
        out_.push_back(' ');
        out_ += empty;
        out_.push_back('\n');
    } else {
        inline_ = false;
        out_ += empty;
        out_.push_back('\n');
    }
}

void YamlWriter::begin_map() {
    begin_collection(true);
}
void YamlWriter::end_map() {
    end_collection();
}
void YamlWriter::begin_seq() {
    begin_collection(false);
}
void YamlWriter::end_seq() {
    end_collection();
}

void YamlWriter::key(std::string_view k) {
    if (k.size() <= 128 && simple_plain(k)) {
        start_child();
        write_indent(stack_.back().indent);
        out_ += k;
        out_ += ":";
        after_key_ = true;
        return;
    }
    std::string valid;
    if (!is_valid_utf8(k)) {
        valid = to_valid_utf8(k);
        k = valid;
    }
    Frame& f = stack_.back();
    start_child();
    write_indent(f.indent);
    const Analysis a = analyze(k);
    if (k.size() > 128 || a.multiline) {
        // Too long or multi-line for a simple key: "? key" then ": value" on its own line.
        out_ += "? ";
        write_scalar_body(k, f.indent + 2);
        out_.append(static_cast<std::size_t>(f.indent), ' ');
        out_ += ":";
        f.complex_key = true;
        after_key_ = true;
        return;
    }
    if (yaml_plain_is_non_string(k) || !a.plain_allowed) {
        if (a.single_allowed) {
            write_single_quoted(out_, k);
        } else {
            write_double_quoted(out_, k);
        }
    } else {
        out_ += k;
    }
    out_ += ":";
    after_key_ = true;
}

// Writes a scalar in its place: after "key:", as a sequence item, or as the whole document.
// Raw text (numbers, and strings that need no quoting) goes out as it is.
void YamlWriter::scalar(std::string_view text, bool raw) {
    raw = raw || simple_plain(text);
    std::string valid;
    if (!raw && !is_valid_utf8(text)) {
        valid = to_valid_utf8(text);
        text = valid;
    }
    int content_indent = 2;
    if (!stack_.empty()) {
        Frame& f = stack_.back();
        if (f.is_map) {
            out_.push_back(' ');
            after_key_ = false;
            f.complex_key = false;
            content_indent = f.indent + 2;
        } else {
            start_child();
            write_indent(f.indent);
            out_ += "- ";
            content_indent = f.indent + 2;
        }
    }
    inline_ = false;
    if (raw) {
        out_ += text;
        out_.push_back('\n');
        return;
    }
    write_scalar_body(text, content_indent);
}

// Writes a string scalar in the style it needs, with its line break.
void YamlWriter::write_scalar_body(std::string_view text, int content_indent) {
    const Analysis a = analyze(text);
    Style style = Style::Plain;
    // NEL, LS and PS would be folded inside single quotes and block scalars: escape them.
    const bool unicode_break = text.find("\xC2\x85") != std::string_view::npos ||
                               text.find("\xE2\x80\xA8") != std::string_view::npos ||
                               text.find("\xE2\x80\xA9") != std::string_view::npos;
    if (unicode_break) {
        style = Style::DoubleQuoted;
    } else if (text.find('\n') != std::string_view::npos) {
        style = a.block_allowed ? Style::Literal : Style::DoubleQuoted;
    } else if (yaml_plain_is_non_string(text) || !a.plain_allowed) {
        style = a.single_allowed ? Style::SingleQuoted : Style::DoubleQuoted;
    }
    switch (style) {
    case Style::Plain:
        out_ += text;
        break;
    case Style::SingleQuoted:
        write_single_quoted(out_, text);
        break;
    case Style::DoubleQuoted:
        write_double_quoted(out_, text);
        break;
    case Style::Literal: {
        out_.push_back('|');
        if (text.front() == ' ' || text.front() == '\n') {
            out_.push_back('2');
        }
        if (text.back() != '\n') {
            out_.push_back('-');
        } else if (text.size() == 1 || text[text.size() - 2] == '\n') {
            out_.push_back('+');
        }
        out_.push_back('\n');
        bool line_start = true;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\n') {
                out_.push_back('\n');
                line_start = true;
                continue;
            }
            if (line_start) {
                out_.append(static_cast<std::size_t>(content_indent), ' ');
                line_start = false;
            }
            out_.push_back(c);
        }
        if (text.back() != '\n') {
            out_.push_back('\n');
        }
        return;
    }
    }
    out_.push_back('\n');
}

void YamlWriter::string(std::string_view s) {
    scalar(s, false);
}
void YamlWriter::integer(std::int64_t v) {
    scalar(std::to_string(v), true);
}
void YamlWriter::unsigned_integer(std::uint64_t v) {
    scalar(std::to_string(v), true);
}
void YamlWriter::real(double v) {
    if (std::isnan(v)) {
        scalar(".nan", true);
    } else if (std::isinf(v)) {
        scalar(v > 0 ? ".inf" : "-.inf", true);
    } else {
        scalar(format_double(v), true);
    }
}
void YamlWriter::boolean(bool v) {
    scalar(v ? "true" : "false", true);
}
void YamlWriter::null() {
    scalar("null", true);
}

std::string YamlWriter::take() {
    std::string s = std::move(out_);
    out_.clear();
    stack_.clear();
    after_key_ = inline_ = false;
    return s;
}

// ---------------------------------------------------------------------------------------------
// JSON

JsonWriter::JsonWriter(bool pretty, std::size_t expected_size) : pretty_(pretty) {
    out_.reserve(std::max<std::size_t>(expected_size, 4096));
}

void JsonWriter::newline() {
    out_.push_back('\n');
    out_.append(counts_.size() * 2, ' ');
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (counts_.empty()) {
        return;
    }
    if (counts_.back()++ > 0) {
        out_.push_back(',');
    }
    if (pretty_) {
        newline();
    }
}

void JsonWriter::open(char c) {
    before_value();
    out_.push_back(c);
    counts_.push_back(0);
}

void JsonWriter::close(char c) {
    const std::size_t n = counts_.back();
    counts_.pop_back();
    if (pretty_ && n > 0) {
        newline();
    }
    out_.push_back(c);
}

void JsonWriter::begin_map() {
    open('{');
}
void JsonWriter::end_map() {
    close('}');
}
void JsonWriter::begin_seq() {
    open('[');
}
void JsonWriter::end_seq() {
    close(']');
}

namespace {
void write_json_string(std::string& out, std::string_view s) {
    std::string valid;
    if (!is_valid_utf8(s)) {
        valid = to_valid_utf8(s);
        s = valid;
    }
    out.push_back('"');
    // Runs of characters that need no escape are copied whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        if (u >= 0x20 && u != '"' && u != '\\') {
            continue;
        }
        out.append(s, run, i - run);
        run = i + 1;
        const char c = s[i];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                out += buf;
            }
        }
    }
    out.append(s, run, s.size() - run);
    out.push_back('"');
}
} // namespace

void JsonWriter::key(std::string_view k) {
    before_value();
    write_json_string(out_, k);
    out_ += pretty_ ? ": " : ":";
    after_key_ = true;
}

void JsonWriter::string(std::string_view s) {
    before_value();
    write_json_string(out_, s);
}
void JsonWriter::integer(std::int64_t v) {
    before_value();
    out_ += std::to_string(v);
}
void JsonWriter::unsigned_integer(std::uint64_t v) {
    before_value();
    out_ += std::to_string(v);
}
void JsonWriter::real(double v) {
    before_value();
    if (std::isfinite(v)) {
        out_ += format_double(v);
    } else {
        out_ += "null"; // JSON has no infinities or NaN
    }
}
void JsonWriter::boolean(bool v) {
    before_value();
    out_ += v ? "true" : "false";
}
void JsonWriter::null() {
    before_value();
    out_ += "null";
}

std::string JsonWriter::take() {
    std::string s = std::move(out_);
    out_.clear();
    counts_.clear();
    after_key_ = false;
    return s;
}

} // namespace orlim_text
