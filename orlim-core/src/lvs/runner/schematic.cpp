#include "orlim_core/lvs/runner/schematic.hpp"

#include <charconv>
#include <filesystem>

#include "orlim_core/io.hpp"
#include "orlim_text/writer.hpp"

namespace orlim_core::lvs::runner {

using px_netlist::Netlist;
using px_netlist::RecursiveNetlist;

SchematicEntry parse_named_path(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon > 0 && colon + 1 < text.size() &&
        text[colon + 1] != '/' && text[colon + 1] != '\\') {
        return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
    }
    return {std::nullopt, std::string(text)};
}

namespace {

std::string file_name(std::string_view path) {
    return std::filesystem::path(path).filename().string();
}

} // namespace

std::optional<std::string> pic_yml_stem(std::string_view path) {
    const std::string name = file_name(path);
    if (!orlim_text::is_valid_utf8(name)) {
        return std::nullopt;
    }
    for (std::string_view suffix : {std::string_view(".pic.yml"), std::string_view(".pic.yaml")}) {
        if (std::string_view(name).ends_with(suffix)) {
            return name.substr(0, name.size() - suffix.size());
        }
    }
    return std::nullopt;
}

bool is_flat_netlist(std::string_view text) {
    constexpr std::string_view fields[] = {
        "instances:", "connections:", "routes:", "nets:", "ports:", "placements:"};
    auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && is_space(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && is_space(line.back())) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            if (end == text.size()) {
                break;
            }
            continue;
        }
        for (std::string_view f : fields) {
            if (line.starts_with(f)) {
                return true;
            }
        }
        return false;
    }
    return false;
}

namespace {

std::string cell_name(const SchematicEntry& entry) {
    if (entry.name) {
        return *entry.name;
    }
    if (auto stem = pic_yml_stem(entry.path)) {
        return *stem;
    }
    const std::string stem = std::filesystem::path(entry.path).stem().string();
    if (!stem.empty() && orlim_text::is_valid_utf8(stem)) {
        return stem;
    }
    return "top";
}

} // namespace

Result<RecursiveNetlist> load_schematics(std::span<const SchematicEntry> entries,
                                         px_netlist::ReadOptions options) {
    RecursiveNetlist out;
    for (const SchematicEntry& entry : entries) {
        auto text = read_file_text(entry.path);
        if (!text) {
            return Unexpected(OrlimError::io(text.error()));
        }
        auto doc = orlim_text::Document::from_yaml(*text);
        if (!doc) {
            return Unexpected(OrlimError::parse(doc.error().message));
        }
        // A flat netlist is also recognised by its first key, so that a flat file starting
        // with a document marker or written as JSON is not taken for a map of cells.
        if (is_flat_netlist(*text) || px_netlist::is_netlist_document(*doc, doc->root())) {
            auto netlist = Netlist::read(*doc, doc->root(), options);
            if (!netlist) {
                return Unexpected(OrlimError::parse(netlist.error().message));
            }
            out.insert_or_assign(cell_name(entry), std::move(*netlist));
            continue;
        }
        auto cells = px_netlist::read_recursive(*doc, doc->root(), options);
        if (!cells) {
            return Unexpected(OrlimError::parse(cells.error().message));
        }
        for (auto& [name, netlist] : *cells) {
            out.insert_or_assign(name, std::move(netlist));
        }
    }
    return out;
}

Placements extract_placements(
    const px_netlist::OrderedMap<px_netlist::OrderedMap<px_netlist::Value>>& placements) {
    Placements out;
    out.reserve(placements.size());
    auto coordinate = [](const px_netlist::OrderedMap<px_netlist::Value>& fields,
                         std::string_view key) {
        auto it = fields.find(key);
        return it != fields.end() && it->second.is_number() ? it->second.get<double>() : 0.0;
    };
    for (const auto& [name, fields] : placements) {
        out.insert_or_assign(name, std::pair{coordinate(fields, "x"), coordinate(fields, "y")});
    }
    return out;
}

PreparedSchematic process_schematic(const RecursiveNetlist& schematics,
                                    std::optional<std::string_view> top) {
    PreparedSchematic out;
    if (schematics.empty()) {
        return out;
    }
    if (schematics.size() == 1) {
        const Netlist& only = schematics.begin()->second;
        out.netlist = orlim_netlist::ExtractedNetlist::from_netlist(only);
        out.placements = extract_placements(only.placements);
        return out;
    }
    auto cell = schematics.begin();
    if (top) {
        if (auto it = schematics.find(*top); it != schematics.end()) {
            cell = it;
        }
    }
    for (const auto& [name, netlist] : schematics) {
        out.cells.insert(name);
    }
    out.netlist = orlim_netlist::flatten_recursive(schematics, cell->first);
    out.placements = extract_placements(cell->second.placements);
    return out;
}

namespace {

bool is_index(std::string_view s) {
    if (s.starts_with('+')) {
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    std::uint64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc{};
}

} // namespace

std::optional<std::pair<std::string, std::string>> parse_array_base(std::string_view name) {
    if (!name.ends_with('>')) {
        return std::nullopt;
    }
    const std::string_view body = name.substr(0, name.size() - 1);
    const std::size_t open = body.rfind('<');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view index = body.substr(open + 1);
    const std::size_t dot = index.find('.');
    if (dot == std::string_view::npos || !is_index(index.substr(0, dot)) ||
        !is_index(index.substr(dot + 1))) {
        return std::nullopt;
    }
    return std::pair{std::string(body.substr(0, open)), std::string(index)};
}

} // namespace orlim_core::lvs::runner
