// Writes GDSII records for tests, including deliberately broken ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orlim_core/io.hpp"

namespace orlim_test {

// Encodes a double as an 8-byte GDSII real; exact for every double in the format's range.
inline std::vector<unsigned char> encode_real8(double v) {
    std::vector<unsigned char> out(8, 0);
    if (v == 0.0) {
        return out;
    }
    const bool negative = v < 0;
    double m = std::fabs(v);
    int e = 0; // m = f * 16^e with 1/16 <= f < 1
    while (m >= 1.0) {
        m /= 16.0;
        ++e;
    }
    while (m < 1.0 / 16.0) {
        m *= 16.0;
        --e;
    }
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(m, 56));
    out[0] = static_cast<unsigned char>((negative ? 0x80 : 0) | (e + 64));
    for (int i = 7; i >= 1; --i) {
        out[static_cast<std::size_t>(i)] =
            static_cast<unsigned char>((mantissa >> (8 * (7 - i))) & 0xFF);
    }
    return out;
}

class GdsBuilder {
public:
    GdsBuilder& raw(std::uint8_t type, std::uint8_t dtype, const std::vector<unsigned char>& data) {
        const std::size_t len = data.size() + 4;
        bytes_.push_back(static_cast<unsigned char>(len >> 8));
        bytes_.push_back(static_cast<unsigned char>(len & 0xFF));
        bytes_.push_back(type);
        bytes_.push_back(dtype);
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    GdsBuilder& bytes(const std::vector<unsigned char>& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    static std::vector<unsigned char> i16s(std::initializer_list<int> vs) {
        std::vector<unsigned char> d;
        for (int v : vs) {
            const auto u = static_cast<std::uint16_t>(v);
            d.push_back(static_cast<unsigned char>(u >> 8));
            d.push_back(static_cast<unsigned char>(u & 0xFF));
        }
        return d;
    }
    static std::vector<unsigned char> i32s(std::initializer_list<long long> vs) {
        std::vector<unsigned char> d;
        for (long long v : vs) {
            const auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
            for (int s = 24; s >= 0; s -= 8) {
                d.push_back(static_cast<unsigned char>((u >> s) & 0xFF));
            }
        }
        return d;
    }
    static std::vector<unsigned char> text(std::string_view s) {
        std::vector<unsigned char> d(s.begin(), s.end());
        if (d.size() % 2 != 0) {
            d.push_back(0);
        }
        return d;
    }

    GdsBuilder& header() { return raw(0x00, 2, i16s({600})); }
    GdsBuilder& bgnlib() { return raw(0x01, 2, i16s({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})); }
    GdsBuilder& libname(std::string_view n = "lib") { return raw(0x02, 6, text(n)); }
    GdsBuilder& units(double user = 0.001, double meters = 1e-9) {
        std::vector<unsigned char> d = encode_real8(user);
        const auto m = encode_real8(meters);
        d.insert(d.end(), m.begin(), m.end());
        return raw(0x03, 5, d);
    }
    GdsBuilder& start(double user = 0.001, double meters = 1e-9) {
        return header().bgnlib().libname().units(user, meters);
    }
    GdsBuilder& endlib() { return raw(0x04, 0, {}); }
    GdsBuilder& bgnstr(std::string_view name) {
        raw(0x05, 2, i16s({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        return raw(0x06, 6, text(name));
    }
    GdsBuilder& endstr() { return raw(0x07, 0, {}); }
    GdsBuilder& boundary(int layer, int datatype,
                         std::initializer_list<std::pair<long long, long long>> pts) {
        raw(0x08, 0, {});
        raw(0x0D, 2, i16s({layer}));
        raw(0x0E, 2, i16s({datatype}));
        std::vector<unsigned char> xy;
        for (auto [x, y] : pts) {
            const auto p = i32s({x, y});
            xy.insert(xy.end(), p.begin(), p.end());
        }
        raw(0x10, 3, xy);
        return raw(0x11, 0, {});
    }
    struct Trans {
        bool reflect = false;
        bool has_angle = false;
        double angle = 0.0;
        bool has_mag = false;
        double mag = 1.0;
    };
    GdsBuilder& strans(const Trans& t) {
        raw(0x1A, 1, i16s({t.reflect ? 0x8000 : 0}));
        if (t.has_mag) {
            raw(0x1B, 5, encode_real8(t.mag));
        }
        if (t.has_angle) {
            raw(0x1C, 5, encode_real8(t.angle));
        }
        return *this;
    }
    GdsBuilder& property(int attr, std::string_view value) {
        raw(0x2B, 2, i16s({attr}));
        return raw(0x2C, 6, text(value));
    }
    // An SREF without ENDEL, so that properties can follow.
    GdsBuilder& sref_open(std::string_view cell, long long x, long long y,
                          const Trans* t = nullptr) {
        raw(0x0A, 0, {});
        raw(0x12, 6, text(cell));
        if (t != nullptr) {
            strans(*t);
        }
        return raw(0x10, 3, i32s({x, y}));
    }
    GdsBuilder& endel() { return raw(0x11, 0, {}); }
    GdsBuilder& sref(std::string_view cell, long long x, long long y, const Trans* t = nullptr) {
        return sref_open(cell, x, y, t).endel();
    }
    GdsBuilder& aref_open(std::string_view cell, int cols, int rows,
                          std::initializer_list<long long> xy6, const Trans* t = nullptr) {
        raw(0x0B, 0, {});
        raw(0x12, 6, text(cell));
        if (t != nullptr) {
            strans(*t);
        }
        raw(0x13, 2, i16s({cols, rows}));
        return raw(0x10, 3, i32s(xy6));
    }

    const std::vector<unsigned char>& data() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

    orlim_core::FileBytes file() const {
        return orlim_core::FileBytes::copy_of(bytes_.data(), bytes_.size());
    }

private:
    std::vector<unsigned char> bytes_;
};

} // namespace orlim_test
