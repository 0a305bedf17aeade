#include <vector>

#include "args.hpp"
#include "functions.hpp"
#include "netlist_format.hpp"
#include "orlim_netlist/simplify.hpp"

namespace orlim_py {

const char* const SIMPLIFY_DOC =
    "simplify(netlist_json, remove_twoports, format=\"json\", output_format=\"keep\", "
    "flatten=False)\n--\n\n"
    "Simplify a netlist by removing 2-port routing instances.\n\n"
    "Instances with exactly two ports in use (straights, bends and the like) are removed and\n"
    "the connections that ran through them are joined, so that each chain of them becomes one\n"
    "net between the instances at its ends; external ports on them move to those ends.\n\n"
    "Args:\n"
    "    netlist_json: The Plarix netlist as JSON: a map of cell name to netlist (or one flat\n"
    "        netlist).\n"
    "    remove_twoports: [\"all\"] removes every 2-port instance; otherwise a list of component\n"
    "        names whose 2-port instances are removed, e.g. [\"straight\", \"bend_euler\"].\n"
    "    format: Output format, \"json\" (default) or \"yaml\".\n"
    "    output_format: \"keep\" (default) auto-detects: input that reads as an orlim netlist\n"
    "        gives the orlim schema, other input the Plarix schema. \"orlim\" gives the orlim\n"
    "        netlist schema (instances, nets, ports; several cells are flattened with the\n"
    "        first as top); \"plarix\" or \"px\" the Plarix schema, which preserves instance\n"
    "        settings, arrays and placements.\n"
    "    flatten: Flatten a hierarchical netlist (first cell as top) before simplifying; no\n"
    "        effect on flat netlists. Without it, each cell is simplified on its own.\n\n"
    "Returns:\n"
    "    The simplified netlist as a string in the requested format.";

namespace {

enum class Route { Orlim, Plarix, Keep };

std::optional<Route> parse_route(std::string_view s) {
    if (s == "keep") {
        return Route::Keep;
    }
    if (s == "orlim") {
        return Route::Orlim;
    }
    if (s == "plarix" || s == "px") {
        return Route::Plarix;
    }
    return std::nullopt;
}

// The entries of a sequence of str.
std::optional<std::vector<std::string>> str_list(PyObject* seq, const char* fname,
                                                 const char* param) {
    if (PyUnicode_Check(seq) || PyBytes_Check(seq) || !PySequence_Check(seq)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be a sequence of str, not %.200s",
                     fname, param, Py_TYPE(seq)->tp_name);
        return std::nullopt;
    }
    const Py_ssize_t n = PySequence_Size(seq);
    if (n < 0) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PySequence_GetItem(seq, i);
        if (item == nullptr) {
            return std::nullopt;
        }
        if (!PyUnicode_Check(item)) {
            PyErr_Format(PyExc_TypeError, "%s() argument '%s' must hold only str, not %.200s",
                         fname, param, Py_TYPE(item)->tp_name);
            Py_DECREF(item);
            return std::nullopt;
        }
        auto s = to_str(item, fname, param);
        Py_DECREF(item);
        if (!s) {
            return std::nullopt;
        }
        out.push_back(std::move(*s));
    }
    return out;
}

// The cells of the netlist JSON; an object that starts with a netlist field is one flat
// netlist, taken as a single cell.
orlim_text::ReadResult<px_netlist::RecursiveNetlist> read_cells(const orlim_text::Document& doc,
                                                                px_netlist::ReadOptions options) {
    if (px_netlist::is_netlist_document(doc, doc.root())) {
        auto netlist = px_netlist::Netlist::read(doc, doc.root(), options);
        if (!netlist) {
            return std::unexpected(netlist.error());
        }
        px_netlist::RecursiveNetlist cells;
        cells.emplace("top", std::move(*netlist));
        return cells;
    }
    return px_netlist::read_recursive(doc, doc.root(), options);
}

PyObject* parse_error(const orlim_text::ReadError& e) {
    return raise_value_error("Failed to parse netlist JSON: " + e.message);
}

} // namespace

PyObject* simplify(PyObject*, PyObject* args, PyObject* kwargs) {
    constexpr const char* fname = "simplify";
    PyObject* slots[5];
    if (!bind(args, kwargs, fname,
              {"netlist_json", "remove_twoports", "format", "output_format", "flatten"}, 2,
              slots)) {
        return nullptr;
    }
    std::string copy;
    auto text = to_text_view(slots[0], fname, "netlist_json", copy);
    if (!text) {
        return nullptr;
    }
    auto entries = str_list(slots[1], fname, "remove_twoports");
    if (!entries) {
        return nullptr;
    }
    auto format = to_str(slots[2], fname, "format", "json");
    if (!format) {
        return nullptr;
    }
    auto output_format = to_str(slots[3], fname, "output_format", "keep");
    if (!output_format) {
        return nullptr;
    }
    bool flatten = false;
    if (slots[4] != nullptr) {
        auto f = to_bool(slots[4], fname, "flatten");
        if (!f) {
            return nullptr;
        }
        flatten = *f;
    }

    const auto filter = orlim_netlist::ComponentFilter::from_list(*entries);
    auto route = parse_route(*output_format);
    if (!route) {
        return raise_value_error("output_format must be 'keep', 'orlim', 'plarix', or 'px'");
    }
    px_netlist::RecursiveNetlist cells;
    {
        auto doc = orlim_text::Document::from_json(*text);
        if (!doc) {
            return parse_error(doc.error());
        }
        if (route == Route::Keep) {
            route = orlim_netlist::ExtractedNetlist::read(*doc, doc->root()) ? Route::Orlim
                                                                             : Route::Plarix;
        }
        // The orlim schema needs only the connectivity.
        auto read = read_cells(*doc, {.keep_values = route == Route::Plarix});
        if (!read) {
            return parse_error(read.error());
        }
        cells = std::move(*read);
    }

    if (route == Route::Orlim) {
        const auto netlist = orlim_netlist::reduce_recursive(cells);
        cells.clear();
        return format_extracted_netlist(orlim_netlist::simplify_netlist(netlist, filter), *format);
    }
    if (cells.size() < 2) {
        px_netlist::Netlist only;
        if (!cells.empty()) {
            only = std::move(cells.begin().value());
        }
        return format_px_netlist(orlim_netlist::simplify_px_netlist(std::move(only), filter),
                                 *format);
    }
    if (flatten) {
        auto flat = orlim_netlist::flatten_recursive(cells, cells.begin()->first).into_netlist();
        cells.clear();
        return format_px_netlist(orlim_netlist::simplify_px_netlist(std::move(flat), filter),
                                 *format);
    }
    const auto simplified = orlim_netlist::simplify_recursive_netlist(std::move(cells), filter);
    if (*format == "yaml") {
        return from_text(px_netlist::recursive_to_yaml(simplified));
    }
    if (*format == "json") {
        return from_text(px_netlist::recursive_to_json(simplified));
    }
    return raise_value_error("format must be 'yaml' or 'json'");
}

} // namespace orlim_py
