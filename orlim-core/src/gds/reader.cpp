#include "orlim_core/gds/reader.hpp"

#include <array>
#include <cmath>
#include <fmt/format.h>
#include <unordered_map>

namespace orlim_core::gds::stream {

namespace {

// Record types.
enum : std::uint8_t {
    HEADER = 0x00,
    BGNLIB = 0x01,
    LIBNAME = 0x02,
    UNITS = 0x03,
    ENDLIB = 0x04,
    BGNSTR = 0x05,
    STRNAME = 0x06,
    ENDSTR = 0x07,
    BOUNDARY = 0x08,
    PATH = 0x09,
    SREF = 0x0A,
    AREF = 0x0B,
    TEXT = 0x0C,
    LAYER = 0x0D,
    DATATYPE = 0x0E,
    WIDTH = 0x0F,
    XY = 0x10,
    ENDEL = 0x11,
    SNAME = 0x12,
    COLROW = 0x13,
    TEXTNODE = 0x14,
    NODE = 0x15,
    TEXTTYPE = 0x16,
    PRESENTATION = 0x17,
    SPACING = 0x18,
    STRING = 0x19,
    STRANS = 0x1A,
    MAG = 0x1B,
    ANGLE = 0x1C,
    UINTEGER = 0x1D,
    USTRING = 0x1E,
    REFLIBS = 0x1F,
    FONTS = 0x20,
    PATHTYPE = 0x21,
    GENERATIONS = 0x22,
    ATTRTABLE = 0x23,
    STYPTABLE = 0x24,
    STRTYPE = 0x25,
    ELFLAGS = 0x26,
    ELKEY = 0x27,
    LINKTYPE = 0x28,
    LINKKEYS = 0x29,
    NODETYPE = 0x2A,
    PROPATTR = 0x2B,
    PROPVALUE = 0x2C,
    BOX = 0x2D,
    BOXTYPE = 0x2E,
    PLEX = 0x2F,
    BGNEXTN = 0x30,
    ENDEXTN = 0x31,
    TAPENUM = 0x32,
    TAPECODE = 0x33,
    STRCLASS = 0x34,
    RESERVED = 0x35,
    FORMAT = 0x36,
    MASK = 0x37,
    ENDMASKS = 0x38,
    LIBDIRSIZE = 0x39,
    SRFNAME = 0x3A,
    LIBSECUR = 0x3B,
    RECORD_TYPE_COUNT
};

// Data types.
enum : std::uint8_t {
    NO_DATA = 0,
    BIT_ARRAY = 1,
    INT2 = 2,
    INT4 = 3,
    REAL4 = 4,
    REAL8 = 5,
    ASCII = 6
};

struct RecordInfo {
    const char* name;
    std::uint8_t data_type;
    std::int32_t size; // exact payload size in bytes, or -1 when variable
};

constexpr std::array<RecordInfo, RECORD_TYPE_COUNT> RECORDS = {{
    {"HEADER", INT2, 2},      {"BGNLIB", INT2, 24},       {"LIBNAME", ASCII, -1},
    {"UNITS", REAL8, 16},     {"ENDLIB", NO_DATA, 0},     {"BGNSTR", INT2, 24},
    {"STRNAME", ASCII, -1},   {"ENDSTR", NO_DATA, 0},     {"BOUNDARY", NO_DATA, 0},
    {"PATH", NO_DATA, 0},     {"SREF", NO_DATA, 0},       {"AREF", NO_DATA, 0},
    {"TEXT", NO_DATA, 0},     {"LAYER", INT2, 2},         {"DATATYPE", INT2, 2},
    {"WIDTH", INT4, 4},       {"XY", INT4, -1},           {"ENDEL", NO_DATA, 0},
    {"SNAME", ASCII, -1},     {"COLROW", INT2, 4},        {"TEXTNODE", NO_DATA, 0},
    {"NODE", NO_DATA, 0},     {"TEXTTYPE", INT2, 2},      {"PRESENTATION", BIT_ARRAY, 2},
    {"SPACING", INT2, -1},    {"STRING", ASCII, -1},      {"STRANS", BIT_ARRAY, 2},
    {"MAG", REAL8, 8},        {"ANGLE", REAL8, 8},        {"UINTEGER", INT4, -1},
    {"USTRING", ASCII, -1},   {"REFLIBS", ASCII, -1},     {"FONTS", ASCII, -1},
    {"PATHTYPE", INT2, 2},    {"GENERATIONS", INT2, 2},   {"ATTRTABLE", ASCII, -1},
    {"STYPTABLE", ASCII, -1}, {"STRTYPE", INT2, 2},       {"ELFLAGS", BIT_ARRAY, 2},
    {"ELKEY", INT4, 4},       {"LINKTYPE", INT2, -1},     {"LINKKEYS", INT4, -1},
    {"NODETYPE", INT2, 2},    {"PROPATTR", INT2, 2},      {"PROPVALUE", ASCII, -1},
    {"BOX", NO_DATA, 0},      {"BOXTYPE", INT2, 2},       {"PLEX", INT4, 4},
    {"BGNEXTN", INT4, 4},     {"ENDEXTN", INT4, 4},       {"TAPENUM", INT2, 2},
    {"TAPECODE", INT2, 12},   {"STRCLASS", BIT_ARRAY, 2}, {"RESERVED", INT4, -1},
    {"FORMAT", INT2, 2},      {"MASK", ASCII, -1},        {"ENDMASKS", NO_DATA, 0},
    {"LIBDIRSIZE", INT2, 2},  {"SRFNAME", ASCII, -1},     {"LIBSECUR", INT2, -1},
}};

constexpr std::array<const char*, 7> DATA_TYPE_NAMES = {
    "no data",     "bit array",   "2-byte integer", "4-byte integer",
    "4-byte real", "8-byte real", "ASCII string"};

std::int16_t be16(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
}
std::int32_t be32(const unsigned char* p) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 24) |
                                     (static_cast<std::uint32_t>(p[1]) << 16) |
                                     (static_cast<std::uint32_t>(p[2]) << 8) | p[3]);
}

struct Record {
    std::uint8_t type = 0;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    const char* name() const { return RECORDS[type].name; }
    Record() = default;
    Record(std::uint8_t t, const unsigned char* d, std::size_t n, std::uint64_t o)
        : type(t), data(d), size(n), offset(o) {}
    std::int16_t i16(std::size_t i = 0) const { return be16(data + 2 * i); }
    std::int32_t i32(std::size_t i = 0) const { return be32(data + 4 * i); }
    double real(std::size_t i = 0) const { return decode_real8(data + 8 * i); }
    std::string_view text() const {
        std::size_t n = size;
        while (n > 0 && data[n - 1] == 0) {
            --n; // padding to an even length
        }
        return {reinterpret_cast<const char*>(data), n};
    }
};

class Parser {
public:
    Parser(Library& lib, KeepElements keep)
        : lib_(lib), keep_(keep), p_(lib.bytes.data.get()), end_(p_ + lib.bytes.size) {}

    Result<void> run();

private:
    // Reads the next record; on failure error_ holds why.
    bool read(Record& r);
    Result<Record> next() {
        Record r;
        if (!read(r)) {
            return Unexpected(std::move(*error_));
        }
        return r;
    }
    Result<Record> expect(std::uint8_t type, const char* context);
    Result<void> structure(const Record& bgnstr);
    Result<void> element(const Record& start, Structure& s, bool keep);
    void note_reference(Structure& s, const Element& e);
    std::vector<std::size_t> count_elements() const;

    [[gnu::cold, gnu::noinline]] bool set_error(std::uint64_t offset, std::string what) {
        error_ = OrlimError::gds(fmt::format("{} at byte offset {}", what, offset));
        return false;
    }
    Unexpected take_error() { return Unexpected(std::move(*error_)); }

    [[gnu::cold]] Unexpected fail(std::uint64_t offset, std::string what) const {
        return Unexpected(OrlimError::gds(fmt::format("{} at byte offset {}", what, offset)));
    }

    Library& lib_;
    KeepElements keep_;
    std::optional<OrlimError> error_;
    std::vector<std::size_t> element_counts_; // per structure, from a pre-scan of the records
    std::unordered_map<std::string_view, bool> seen_refs_; // per structure being read
    std::string_view last_ref_;
    const unsigned char* p_;
    const unsigned char* end_;
};

std::uint64_t offset_of(const unsigned char* base, const unsigned char* p) {
    return static_cast<std::uint64_t>(p - base);
}

bool Parser::read(Record& out) {
    const unsigned char* base = lib_.bytes.data.get();
    const std::uint64_t at = offset_of(base, p_);
    const auto remaining = static_cast<std::size_t>(end_ - p_);
    if (remaining == 0) {
        return set_error(at, "unexpected end of file (ENDLIB record missing)");
    }
    if (remaining < 4) {
        return set_error(at, fmt::format("truncated record header ({} of 4 bytes)", remaining));
    }
    const std::size_t length = static_cast<std::uint16_t>((p_[0] << 8) | p_[1]);
    const std::uint8_t type = p_[2];
    const std::uint8_t dtype = p_[3];
    if (length < 4) {
        return set_error(at, fmt::format("invalid record length {} (at least 4)", length));
    }
    if (length % 2 != 0) {
        return set_error(at, fmt::format("invalid odd record length {}", length));
    }
    if (length > remaining) {
        return set_error(at, fmt::format("truncated record: length {} but only {} bytes left",
                                         length, remaining));
    }
    if (type >= RECORD_TYPE_COUNT) {
        return set_error(at, fmt::format("unknown record type 0x{:02X}", type));
    }
    const RecordInfo& info = RECORDS[type];
    if (dtype != info.data_type) {
        return set_error(
            at, fmt::format("{} record has data type 0x{:02X} ({}), expected {}", info.name, dtype,
                            dtype < DATA_TYPE_NAMES.size() ? DATA_TYPE_NAMES[dtype] : "unknown",
                            DATA_TYPE_NAMES[info.data_type]));
    }
    const std::size_t size = length - 4;
    if (info.size >= 0 && size != static_cast<std::size_t>(info.size)) {
        return set_error(at, fmt::format("{} record has {} data bytes, expected {}", info.name,
                                         size, info.size));
    }
    const std::size_t unit = dtype == INT2 ? 2 : dtype == INT4 ? 4 : dtype == REAL8 ? 8 : 1;
    if (size % unit != 0) {
        return set_error(at, fmt::format("{} record has {} data bytes, not a multiple of {}",
                                         info.name, size, unit));
    }
    out = Record{type, p_ + 4, size, at};
    p_ += length;
    return true;
}

Result<Record> Parser::expect(std::uint8_t type, const char* context) {
    auto r = next();
    if (!r) {
        return r;
    }
    if (r->type != type) {
        return fail(r->offset, fmt::format("expected {} record {}, found {}", RECORDS[type].name,
                                           context, r->name()));
    }
    return r;
}

Result<void> Parser::run() {
    if (lib_.bytes.size == 0) {
        return Unexpected(OrlimError::gds("empty file (no HEADER record)"));
    }
    if (keep_ == nullptr) {
        element_counts_ = count_elements();
    }
    auto header = next();
    if (!header || header->type != HEADER) {
        const std::string why = header
                                    ? std::string("it starts with a ") + header->name() + " record"
                                    : header.error().message;
        return Unexpected(OrlimError::gds("not a GDSII stream file (no HEADER record at the "
                                          "start): " +
                                          why));
    }
    lib_.version = header->i16();
    auto bgnlib = expect(BGNLIB, "after HEADER");
    if (!bgnlib) {
        return Unexpected(bgnlib.error());
    }
    // Library header records up to UNITS.
    for (;;) {
        auto r = next();
        if (!r) {
            return Unexpected(r.error());
        }
        switch (r->type) {
        case LIBNAME:
            lib_.name = r->text();
            continue;
        case UNITS: {
            const double user = r->real(0);
            const double meters = r->real(1);
            if (!(meters > 0.0) || !std::isfinite(meters)) {
                return fail(r->offset,
                            fmt::format("UNITS record has a database unit of {} metres", meters));
            }
            lib_.user_units_per_dbu = user;
            lib_.meters_per_dbu = meters;
            break;
        }
        case LIBDIRSIZE:
        case SRFNAME:
        case LIBSECUR:
        case REFLIBS:
        case FONTS:
        case ATTRTABLE:
        case GENERATIONS:
        case FORMAT:
        case MASK:
        case ENDMASKS:
            continue;
        default:
            return fail(r->offset, fmt::format("unexpected {} record before UNITS", r->name()));
        }
        break;
    }
    for (;;) {
        auto r = next();
        if (!r) {
            return Unexpected(r.error());
        }
        if (r->type == ENDLIB) {
            return {}; // anything after ENDLIB (block padding) is ignored
        }
        if (r->type != BGNSTR) {
            return fail(r->offset,
                        fmt::format("unexpected {} record between structures", r->name()));
        }
        if (auto s = structure(*r); !s) {
            return s;
        }
    }
}

Result<void> Parser::structure(const Record& bgnstr) {
    auto name = expect(STRNAME, "after BGNSTR");
    if (!name) {
        return Unexpected(name.error());
    }
    Structure s;
    s.name = name->text();
    s.offset = bgnstr.offset;
    const bool keep = keep_ == nullptr || keep_(s.name);
    const std::size_t index = lib_.structures.size();
    if (keep && index < element_counts_.size()) {
        s.elements.reserve(element_counts_[index]);
    }
    seen_refs_.clear();
    last_ref_ = {};
    Record rec;
    for (;;) {
        if (!read(rec)) {
            return take_error();
        }
        const Record* r = &rec;
        switch (r->type) {
        case ENDSTR:
            lib_.structures.push_back(std::move(s));
            return {};
        case STRCLASS:
            continue;
        case BOUNDARY:
        case PATH:
        case SREF:
        case AREF:
        case TEXT:
        case NODE:
        case BOX:
            if (auto e = element(*r, s, keep); !e) {
                return e;
            }
            continue;
        default:
            return fail(r->offset,
                        fmt::format("unexpected {} record in structure '{}'", r->name(), s.name));
        }
    }
}

// Records a reference in the structure's summary of placed cells.
void Parser::note_reference(Structure& s, const Element& e) {
    std::uint64_t placed = 1;
    if (e.kind == ElementKind::Aref) {
        if (e.cols < 1 || e.rows < 1) {
            return;
        }
        placed = static_cast<std::uint64_t>(e.cols) * static_cast<std::uint64_t>(e.rows);
    }
    s.instance_count += placed;
    if (e.name == last_ref_) {
        return;
    }
    last_ref_ = e.name;
    // Most structures place few distinct cells: scan them before falling back to hashing.
    constexpr std::size_t linear = 16;
    if (s.references.size() <= linear) {
        for (std::string_view known : s.references) {
            if (known == e.name) {
                return;
            }
        }
        s.references.push_back(e.name);
        if (s.references.size() > linear) {
            for (std::string_view known : s.references) {
                seen_refs_.emplace(known, true);
            }
        }
        return;
    }
    if (seen_refs_.try_emplace(e.name, true).second) {
        s.references.push_back(e.name);
    }
}

// Elements per structure, by a scan of the record headers alone.
std::vector<std::size_t> Parser::count_elements() const {
    std::vector<std::size_t> counts;
    const unsigned char* p = p_;
    while (end_ - p >= 4) {
        const std::size_t length = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
        if (length < 4 || static_cast<std::size_t>(end_ - p) < length) {
            break; // the validating pass reports it
        }
        const std::uint8_t type = p[2];
        if (type == BGNSTR) {
            counts.push_back(0);
        } else if (!counts.empty() &&
                   (type == BOUNDARY || type == PATH || type == SREF || type == AREF ||
                    type == TEXT || type == NODE || type == BOX)) {
            ++counts.back();
        } else if (type == ENDLIB) {
            break;
        }
        p += length;
    }
    return counts;
}

Result<void> Parser::element(const Record& start, Structure& s, bool keep) {
    Element e;
    e.offset = start.offset;
    switch (start.type) {
    case BOUNDARY:
        e.kind = ElementKind::Boundary;
        break;
    case PATH:
        e.kind = ElementKind::Path;
        break;
    case SREF:
        e.kind = ElementKind::Sref;
        break;
    case AREF:
        e.kind = ElementKind::Aref;
        break;
    case TEXT:
        e.kind = ElementKind::Text;
        break;
    case NODE:
        e.kind = ElementKind::Node;
        break;
    default:
        e.kind = ElementKind::Box;
        break;
    }
    const bool is_ref = e.kind == ElementKind::Sref || e.kind == ElementKind::Aref;
    const bool is_text = e.kind == ElementKind::Text;
    // Which records were seen, by type, to catch duplicates and missing ones.
    std::uint64_t seen = 0;
    auto once = [&](const Record& r) -> bool {
        const std::uint64_t bit = std::uint64_t{1} << r.type;
        if (seen & bit) {
            return false;
        }
        seen |= bit;
        return true;
    };
    e.prop_begin = static_cast<std::uint32_t>(lib_.properties.size());
    Record rec;
    Record value_rec;
    for (;;) {
        if (!read(rec)) {
            return take_error();
        }
        const Record* r = &rec;
        if (r->type == ENDEL) {
            break;
        }
        bool allowed = false;
        switch (r->type) {
        case ELFLAGS:
        case PLEX:
            allowed = true;
            break;
        case LAYER:
            allowed = !is_ref;
            e.layer = r->i16();
            break;
        case DATATYPE:
            allowed = e.kind == ElementKind::Boundary || e.kind == ElementKind::Path;
            e.datatype = r->i16();
            break;
        case TEXTTYPE:
            allowed = is_text;
            e.datatype = r->i16();
            break;
        case NODETYPE:
            allowed = e.kind == ElementKind::Node;
            e.datatype = r->i16();
            break;
        case BOXTYPE:
            allowed = e.kind == ElementKind::Box;
            e.datatype = r->i16();
            break;
        case PATHTYPE:
            allowed = e.kind == ElementKind::Path || is_text;
            e.pathtype = r->i16();
            break;
        case WIDTH:
            allowed = e.kind == ElementKind::Path || is_text;
            e.width = r->i32();
            break;
        case BGNEXTN:
        case ENDEXTN:
            allowed = e.kind == ElementKind::Path;
            break;
        case PRESENTATION:
            allowed = is_text;
            break;
        case STRING:
            allowed = is_text;
            e.name = r->text();
            break;
        case SNAME:
            allowed = is_ref;
            e.name = r->text();
            break;
        case COLROW:
            allowed = e.kind == ElementKind::Aref;
            e.cols = r->i16(0);
            e.rows = r->i16(1);
            break;
        case STRANS: {
            allowed = is_ref || is_text;
            const auto bits = static_cast<std::uint16_t>(r->i16());
            e.has_strans = true;
            e.reflect = (bits & 0x8000) != 0;
            e.abs_mag = (bits & 0x0004) != 0;
            e.abs_angle = (bits & 0x0002) != 0;
            break;
        }
        case MAG:
            allowed = is_ref || is_text;
            e.mag = r->real();
            e.has_mag = true;
            break;
        case ANGLE:
            allowed = is_ref || is_text;
            e.angle = r->real();
            e.has_angle = true;
            break;
        case XY:
            allowed = true;
            e.xy = r->data;
            e.xy_count = static_cast<std::uint32_t>(r->size / 8);
            if (r->size % 8 != 0) {
                return fail(r->offset,
                            fmt::format("XY record has {} data bytes, not a whole number of points",
                                        r->size));
            }
            break;
        case PROPATTR: {
            if (!read(value_rec)) {
                return take_error();
            }
            const Record* value = &value_rec;
            if (value->type != PROPVALUE) {
                return fail(
                    value->offset,
                    fmt::format("expected PROPVALUE after PROPATTR, found {}", value->name()));
            }
            if (keep) {
                lib_.properties.push_back(Property{r->i16(), value->text()});
            }
            continue;
        }
        default:
            break;
        }
        if (!allowed) {
            return fail(r->offset, fmt::format("unexpected {} record in {} element", r->name(),
                                               RECORDS[start.type].name));
        }
        if (!once(*r)) {
            return fail(r->offset, fmt::format("duplicate {} record in {} element", r->name(),
                                               RECORDS[start.type].name));
        }
    }
    e.prop_count = static_cast<std::uint32_t>(lib_.properties.size()) - e.prop_begin;
    auto missing = [&](std::uint8_t type) -> bool {
        return (seen & (std::uint64_t{1} << type)) == 0;
    };
    const char* kind = RECORDS[start.type].name;
    std::uint8_t required[3] = {XY, 0xFF, 0xFF};
    switch (e.kind) {
    case ElementKind::Boundary:
    case ElementKind::Path:
        required[1] = LAYER;
        required[2] = DATATYPE;
        break;
    case ElementKind::Sref:
        required[1] = SNAME;
        break;
    case ElementKind::Aref:
        required[1] = SNAME;
        required[2] = COLROW;
        break;
    case ElementKind::Text:
        required[1] = LAYER;
        required[2] = STRING;
        break;
    case ElementKind::Node:
        required[1] = LAYER;
        break;
    case ElementKind::Box:
        required[1] = LAYER;
        break;
    }
    for (std::uint8_t t : required) {
        if (t != 0xFF && missing(t)) {
            return fail(start.offset,
                        fmt::format("{} element without {} record", kind, RECORDS[t].name));
        }
    }
    std::uint32_t want = 0;
    switch (e.kind) {
    case ElementKind::Sref:
    case ElementKind::Text:
        want = 1;
        break;
    case ElementKind::Aref:
        want = 3;
        break;
    case ElementKind::Box:
        want = 5;
        break;
    default:
        break;
    }
    if (want != 0 && e.xy_count != want) {
        return fail(start.offset,
                    fmt::format("{} element has {} points, expected {}", kind, e.xy_count, want));
    }
    if (want == 0 && e.xy_count == 0) {
        return fail(start.offset, fmt::format("{} element has no points", kind));
    }
    if (is_ref) {
        note_reference(s, e);
    }
    if (keep) {
        s.elements.push_back(e);
    }
    return {};
}

} // namespace

Point Element::point(std::size_t i) const {
    return {be32(xy + 8 * i), be32(xy + 8 * i + 4)};
}

double decode_real8(const unsigned char* p) {
    const bool negative = (p[0] & 0x80) != 0;
    const int exponent = (p[0] & 0x7F) - 64;
    std::uint64_t mantissa = 0;
    for (int i = 1; i < 8; ++i) {
        mantissa = (mantissa << 8) | p[i];
    }
    // value = mantissa / 2^56 * 16^exponent; the conversion of the 56-bit mantissa is the
    // only rounding step, since the scale is a power of two well inside the double range.
    const double v = std::ldexp(static_cast<double>(mantissa), 4 * exponent - 56);
    return negative ? -v : v;
}

Result<Library> parse_library(FileBytes bytes, KeepElements keep) {
    Library lib;
    lib.bytes = std::move(bytes);
    Parser parser(lib, keep);
    if (auto r = parser.run(); !r) {
        return Unexpected(r.error());
    }
    return lib;
}

Result<Library> read_library(const std::filesystem::path& path, KeepElements keep) {
    auto bytes = read_file_bytes(path);
    if (!bytes) {
        return Unexpected(OrlimError::gds(
            fmt::format("cannot read '{}': {}", path.string(), describe_os_error(bytes.error()))));
    }
    return parse_library(std::move(*bytes), keep);
}

std::string find_reference_cycle(const Library& lib) {
    // Nodes are structure names; a name defined twice gets the references of both.
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<std::string_view> names;
    auto id_of = [&](std::string_view n) {
        auto [it, fresh] = ids.try_emplace(n, static_cast<std::uint32_t>(names.size()));
        if (fresh) {
            names.push_back(n);
        }
        return it->second;
    };
    for (const Structure& s : lib.structures) {
        id_of(s.name);
    }
    std::vector<std::vector<std::uint32_t>> edges(names.size());
    for (const Structure& s : lib.structures) {
        const std::uint32_t from = ids.at(s.name);
        for (std::string_view target : s.references) {
            auto it = ids.find(target);
            if (it != ids.end()) {
                edges[from].push_back(it->second);
            }
        }
    }
    // Iterative depth-first search; state 0 unvisited, 1 on the stack, 2 done.
    std::vector<std::uint8_t> state(names.size(), 0);
    std::vector<std::pair<std::uint32_t, std::size_t>> stack;
    for (std::uint32_t root = 0; root < names.size(); ++root) {
        if (state[root] != 0) {
            continue;
        }
        stack.emplace_back(root, 0);
        state[root] = 1;
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next == edges[node].size()) {
                state[node] = 2;
                stack.pop_back();
                continue;
            }
            const std::uint32_t to = edges[node][next++];
            if (state[to] == 1) {
                std::string text;
                std::size_t first = 0;
                while (stack[first].first != to) {
                    ++first;
                }
                for (std::size_t i = first; i < stack.size(); ++i) {
                    text += names[stack[i].first];
                    text += " -> ";
                }
                text += names[to];
                return text;
            }
            if (state[to] == 0) {
                state[to] = 1;
                stack.emplace_back(to, 0);
            }
        }
    }
    return {};
}

} // namespace orlim_core::gds::stream
