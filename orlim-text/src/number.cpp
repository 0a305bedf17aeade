#include "orlim_text/document.hpp"
#include "orlim_text/writer.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// Integers written with a radix prefix, signed or binary, that older readers still take for
// numbers although the core schema does not.
bool radix_integer(std::string_view s) {
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        s.remove_prefix(1);
    }
    for (auto [prefix, radix] : {std::pair{"0x", 16}, std::pair{"0o", 8}, std::pair{"0b", 2}}) {
        if (s.starts_with(prefix) && s.size() > 2) {
            for (char c : s.substr(2)) {
                if (!is_digit_in(c, radix)) {
                    return false;
                }
            }
            return true;
        }
    }
    return false;
}

} // namespace

bool yaml_plain_is_non_string(std::string_view s) {
    // Whatever the core schema reads as null, boolean or number, leading zeros and overflowing
    // floats included.
    return yaml_core_kind(s) != NodeKind::String || radix_integer(s);
}

} // namespace orlim_text
