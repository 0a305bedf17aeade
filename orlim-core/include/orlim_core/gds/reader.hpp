// GDSII stream reader: validates every record of a file held in memory and indexes its
// structures and elements. Strings and coordinates stay in the file buffer; the library owns
// that buffer, so every view below lives as long as the library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orlim_core/error.hpp"
#include "orlim_core/io.hpp"

namespace orlim_core::gds::stream {

enum class ElementKind : std::uint8_t { Boundary, Path, Sref, Aref, Text, Node, Box };

struct Point {
    std::int32_t x;
    std::int32_t y;
};

struct Property {
    std::int16_t attr;
    std::string_view value;
};

struct Element {
    ElementKind kind{};
    bool has_strans = false; // a STRANS record was present
    bool reflect = false;    // STRANS bit 0: reflection about the x axis before rotation
    bool abs_mag = false;
    bool abs_angle = false;
    bool has_mag = false;
    bool has_angle = false;
    std::int16_t layer = 0;
    std::int16_t datatype = 0; // DATATYPE, TEXTTYPE, NODETYPE or BOXTYPE
    std::int16_t pathtype = 0;
    std::int16_t cols = 0; // AREF COLROW
    std::int16_t rows = 0;
    std::int32_t width = 0;
    double mag = 1.0;
    double angle = 0.0;
    std::string_view name; // SNAME of a reference, STRING of a text
    const unsigned char* xy = nullptr;
    std::uint32_t xy_count = 0;
    std::uint32_t prop_begin = 0;
    std::uint32_t prop_count = 0;
    std::uint64_t offset = 0; // byte offset of the element's first record

    Point point(std::size_t i) const;
};

struct Structure {
    std::string_view name;
    std::vector<Element> elements; // empty when the reader was told not to keep them
    std::uint64_t offset = 0;
    // Distinct names of the structures this one places (references that place at least one
    // instance), in first-seen order, and the number of instances they place.
    std::vector<std::string_view> references;
    std::uint64_t instance_count = 0;
};

// Chooses the structures whose elements the reader keeps; every record is validated either
// way. Null keeps all.
using KeepElements = bool (*)(std::string_view structure_name);

struct Library {
    FileBytes bytes;
    std::int16_t version = 0;
    std::string_view name;
    double user_units_per_dbu = 0.0;
    double meters_per_dbu = 0.0;
    std::vector<Structure> structures; // file order
    std::vector<Property> properties;  // all element properties, indexed by Element::prop_*

    std::span<const Property> properties_of(const Element& e) const {
        return {properties.data() + e.prop_begin, e.prop_count};
    }
};

// Reads and validates a whole file. Every failure is a GdsError whose text says what was
// wrong and at which byte offset.
Result<Library> read_library(const std::filesystem::path& path, KeepElements keep = nullptr);
// Validates bytes already in memory.
Result<Library> parse_library(FileBytes bytes, KeepElements keep = nullptr);

// An 8-byte GDSII real (sign, excess-64 base-16 exponent, 56-bit mantissa), rounded once.
double decode_real8(const unsigned char* p);

// A cycle of structure references as names "a -> b -> a", or empty when the graph is acyclic.
std::string find_reference_cycle(const Library& lib);

} // namespace orlim_core::gds::stream
