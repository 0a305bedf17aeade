#include "orlim_text/document.hpp"
#include "orlim_text/writer.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace orlim_text {

std::string format_double(double v) {
    if (std::isnan(v)) {
        return "NaN";
    }
    if (std::isinf(v)) {
        return v > 0 ? "inf" : "-inf";
    }
    std::string out;
    if (std::signbit(v)) {
        out.push_back('-');
        v = -v;
    }
    if (v == 0.0) {
        out += "0.0";
        return out;
    }
    // Shortest round-trip digits in scientific form: d[.ddd]e±XX.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t epos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, epos)) {
        if (c != '.') {
            digits.push_back(c);
        }
    }
    int exp10 = 0;
    std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+'), sci.data() + sci.size(), exp10);
    const int length = static_cast<int>(digits.size());
    const int kk = exp10 + 1; // position of the decimal point relative to the digits
    if (kk >= length && kk <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(kk - length), '0');
        out += ".0";
    } else if (kk > 0 && kk <= 16) {
        out.append(digits, 0, static_cast<std::size_t>(kk));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(kk));
    } else if (kk > -5 && kk <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-kk), '0');
        out += digits;
    } else {
        out.push_back(digits[0]);
        if (length > 1) {
            out.push_back('.');
            out.append(digits, 1);
        }
        out.push_back('e');
        out += std::to_string(kk - 1);
    }
    return out;
}

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is invalid.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return 1;
    }
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) {
            lo = 0xA0;
        } else if (b0 == 0xED) {
            hi = 0x9F;
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) {
            lo = 0x90;
        } else if (b0 == 0xF4) {
            hi = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) {
            return 0;
        }
    }
    return n;
}

} // namespace

bool is_valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = utf8_sequence(s, i);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string to_valid_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = utf8_sequence(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            // A truncated sequence is replaced as a whole: skip its continuation bytes.
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80 &&
                   utf8_sequence(s, i) == 0) {
                ++i;
            }
            continue;
        }
        out.append(s, i, n);
        i += n;
    }
    return out;
}

namespace {

bool is_digit_in(char c, int radix) {
    if (radix == 16) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    return c >= '0' && c < static_cast<char>('0' + radix);
}

bool all_digits(std::string_view s, int radix) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!is_digit_in(c, radix)) {
            return false;
        }
    }
    return true;
}

// Leading zeros followed by digits read as a string.
bool digits_but_not_number(std::string_view s) {
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        s.remove_prefix(1);
    }
    return s.size() > 1 && s[0] == '0' && all_digits(s.substr(1), 10);
}

bool looks_integer(std::string_view s) {
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        body.remove_prefix(1);
    }
    for (auto [prefix, radix] : {std::pair{"0x", 16}, std::pair{"0o", 8}, std::pair{"0b", 2}}) {
        if (body.starts_with(prefix)) {
            return all_digits(body.substr(2), radix);
        }
    }
    if (digits_but_not_number(s)) {
        return false;
    }
    return all_digits(body, 10);
}

// A finite decimal float: [sign] digits [. digits] [e [sign] digits], at least one digit.
bool looks_finite_float(std::string_view s) {
    if (s == ".inf" || s == ".Inf" || s == ".INF" || s == "+.inf" || s == "+.Inf" || s == "+.INF" ||
        s == "-.inf" || s == "-.Inf" || s == "-.INF" || s == ".nan" || s == ".NaN" || s == ".NAN") {
        return true;
    }
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t mantissa_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++mantissa_digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++mantissa_digits;
        }
    }
    if (mantissa_digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        std::size_t exp_digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++exp_digits;
        }
        if (exp_digits == 0) {
            return false;
        }
    }
    if (i != s.size()) {
        return false;
    }
    // Values that overflow to infinity read back as strings.
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    std::string text(s[0] == '+' ? s.substr(1) : s);
    const double v = strtod_l(text.c_str(), nullptr, c_locale);
    return std::isfinite(v);
}

} // namespace

bool yaml_plain_is_non_string(std::string_view s) {
    // Whatever the core schema types as non-string (leading zeros, overflowing floats too).
    if (yaml_core_kind(s) != NodeKind::String) {
        return true;
    }
    if (s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL") {
        return true;
    }
    if (s == "true" || s == "True" || s == "TRUE" || s == "false" || s == "False" || s == "FALSE") {
        return true;
    }
    if (s.starts_with("++") || s.starts_with("+-")) {
        return false;
    }
    if (looks_integer(s)) {
        return true;
    }
    return !digits_but_not_number(s) && looks_finite_float(s);
}

} // namespace orlim_text
