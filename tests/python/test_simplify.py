"""simplify and `orlim simplify`, end to end: filters, schema detection, flattening, formats and
the order of errors, on both fronts."""

import json

import pytest
import yaml

import _orlim

# A flat schematic: gc_in -> s1 -> b1 -> s2 -> mmi, the chain written as a connection, nets and
# a route link; mmi,o3 -> s3 whose other end is the external port "out".
FLAT = {
    "instances": {
        "gc_in": {"component": "grating", "settings": {"wavelength": 1.55}},
        "s1": {"component": "straight", "settings": {"length": 10}},
        "b1": {"component": "bend_euler", "settings": {"radius": 10}},
        "s2": "straight",
        "mmi": {"component": "mmi1x2", "settings": {"length_mmi": 5.5, "gap": 0.25}},
        "gc": {"component": "grating",
               "array": {"columns": 2, "rows": 1, "column_pitch": 127.0}},
        "s3": "straight",
        "term": {"component": "terminator", "virtual": True},
    },
    "connections": {"gc_in,o1": "s1,o1"},
    "routes": {"r1": {"links": {"s2,o2": "mmi,o1"}, "settings": {"radius": 5}}},
    "nets": [{"p1": "s1,o2", "p2": "b1,o1"}, {"p1": "b1,o2", "p2": "s2,o1"},
             {"p1": "mmi,o2", "p2": "gc<0.0>,o1"}, {"p1": "mmi,o3", "p2": "s3,o1"}],
    "ports": {"out": "s3,o2"},
    "placements": {"gc_in": {"x": 0, "y": 0}, "s1": {"x": 10, "y": 0},
                   "mmi": {"x": 100, "y": 0, "rotation": 180}, "gc": {"x": 200, "y": 0}},
    "info": {"version": 2},
}

FLAT_ALL_PX = {
    "instances": {
        "gc_in": {"component": "grating", "settings": {"wavelength": 1.55}},
        "mmi": {"component": "mmi1x2", "settings": {"gap": 0.25, "length_mmi": 5.5}},
        "gc": {"component": "grating", "settings": {},
               "array": {"columns": 2, "rows": 1, "column_pitch": 127.0, "row_pitch": 0.0}},
        "term": {"component": "terminator", "settings": {}, "virtual": True},
    },
    "nets": [{"p1": "gc_in,o1", "p2": "mmi,o1"}, {"p1": "mmi,o2", "p2": "gc<0.0>,o1"}],
    "ports": {"out": "mmi,o3"},
    "placements": {"gc_in": {"x": 0, "y": 0}, "mmi": {"x": 100, "y": 0, "rotation": 180},
                   "gc": {"x": 200, "y": 0}},
    "info": {"version": 2},
}

FLAT_ALL_ORLIM = {
    "instances": {"gc_in": "grating", "mmi": "mmi1x2", "gc<0.0>": "grating",
                  "gc<1.0>": "grating", "term": "terminator"},
    "nets": [{"p1": "gc_in,o1", "p2": "mmi,o1"}, {"p1": "mmi,o2", "p2": "gc<0.0>,o1"}],
    "ports": {"out": "mmi,o3"},
}

# Only the straights go: the bend stays between them.
FLAT_STRAIGHT_NETS = [{"p1": "gc_in,o1", "p2": "b1,o1"}, {"p1": "b1,o2", "p2": "mmi,o1"},
                      {"p1": "mmi,o2", "p2": "gc<0.0>,o1"}]

# Two cells: the top routes gc1 -> w1 -> u -> w2 -> gc2 through an instance u of the cell
# ring_cell, which routes in -> s -> ring -> s2 -> out.
CELLS = {
    "top": {
        "instances": {"gc1": "grating", "w1": "straight", "u": "ring_cell", "w2": "straight",
                      "gc2": "grating"},
        "nets": [{"p1": "gc1,o1", "p2": "w1,o1"}, {"p1": "w1,o2", "p2": "u,in"},
                 {"p1": "u,out", "p2": "w2,o1"}, {"p1": "w2,o2", "p2": "gc2,o1"}],
        "placements": {"gc1": {"x": 0, "y": 0}, "w1": {"x": 5, "y": 0}},
    },
    "ring_cell": {
        "instances": {"s": "straight", "ring": "ring_resonator", "s2": "straight"},
        "nets": [{"p1": "s,o2", "p2": "ring,o1"}, {"p1": "ring,o2", "p2": "s2,o1"}],
        "ports": {"in": "s,o1", "out": "s2,o2", "drop": "ring,o3"},
    },
}


def px_instances(names_to_components):
    return {n: {"component": c, "settings": {}} for n, c in names_to_components.items()}


# Each cell on its own, straights removed: u stays in the top (a ring_cell), and the sub-cell's
# ports move onto the ring.
CELLS_STRAIGHT_PX = {
    "top": {
        "instances": px_instances({"gc1": "grating", "u": "ring_cell", "gc2": "grating"}),
        "nets": [{"p1": "gc1,o1", "p2": "u,in"}, {"p1": "u,out", "p2": "gc2,o1"}],
        "ports": {},
        "placements": {"gc1": {"x": 0, "y": 0}},
    },
    "ring_cell": {
        "instances": px_instances({"ring": "ring_resonator"}),
        "ports": {"in": "ring,o1", "out": "ring,o2", "drop": "ring,o3"},
    },
}

CELLS_FLAT_STRAIGHT = {
    "instances": {"gc1": "grating", "u~ring": "ring_resonator", "gc2": "grating"},
    "nets": [{"p1": "gc1,o1", "p2": "u~ring,o1"}, {"p1": "u~ring,o2", "p2": "gc2,o1"}],
}
CELLS_FLAT_STRAIGHT_PX = {
    "instances": px_instances(CELLS_FLAT_STRAIGHT["instances"]),
    "nets": CELLS_FLAT_STRAIGHT["nets"],
    "ports": {},
}

ORLIM_SCHEMA = {
    "instances": {"a": "mmi", "w": "straight", "b": "mmi"},
    "nets": [{"p1": "a,o2", "p2": "w,o1"}, {"p1": "w,o2", "p2": "b,o1"},
             {"p1": "a,o3", "p2": "b,o2"}],
    "ports": {"in": "a,o1", "out": "b,o3"},
}
ORLIM_SCHEMA_ALL = {"instances": {"a": "mmi", "b": "mmi"},
                    "nets": [{"p1": "a,o2", "p2": "b,o1"}, {"p1": "a,o3", "p2": "b,o2"}],
                    "ports": {"in": "a,o1", "out": "b,o3"}}


def simplify(doc, *args, **kwargs):
    text = _orlim.simplify(json.dumps(doc), *args, **kwargs)
    return json.loads(text)


# --- Python ---------------------------------------------------------------------------------

@pytest.mark.parametrize("doc, filter_, output_format, flatten, expected", [
    # keep: a recursive Plarix netlist reads as an empty orlim netlist, so the orlim route.
    ({"chip": FLAT}, ["all"], "keep", False, FLAT_ALL_ORLIM),
    ({"chip": FLAT}, ["all"], "plarix", False, FLAT_ALL_PX),
    ({"chip": FLAT}, ["ALL"], "px", True, FLAT_ALL_PX),  # one cell: flatten has no effect
    ({"chip": FLAT}, ["straight"], "orlim", False,
     {**FLAT_ALL_ORLIM, "instances": {"gc_in": "grating", "b1": "bend_euler",
                                      **{k: v for k, v in FLAT_ALL_ORLIM["instances"].items()
                                         if k != "gc_in"}},
      "nets": FLAT_STRAIGHT_NETS}),
    (CELLS, ["straight"], "plarix", False, CELLS_STRAIGHT_PX),
    (CELLS, ["straight"], "plarix", True, CELLS_FLAT_STRAIGHT_PX),
    (CELLS, ["straight"], "orlim", False, CELLS_FLAT_STRAIGHT),  # orlim always flattens
    (CELLS, ["straight"], "keep", False, CELLS_FLAT_STRAIGHT),
    # With "all", u has two ports in use in the top and goes like a straight.
    (CELLS, ["all"], "plarix", False,
     {"top": {"instances": px_instances({"gc1": "grating", "gc2": "grating"}),
              "nets": [{"p1": "gc1,o1", "p2": "gc2,o1"}], "ports": {},
              "placements": {"gc1": {"x": 0, "y": 0}}},
      "ring_cell": CELLS_STRAIGHT_PX["ring_cell"]}),
    ({}, ["all"], "plarix", False, {"instances": {}, "ports": {}}),
    ({}, ["all"], "orlim", False, {}),
    ({}, ["all"], "keep", True, {}),
    # A flat netlist is recognised by its first key, in either schema.
    (FLAT, ["all"], "keep", False, FLAT_ALL_PX),
    (ORLIM_SCHEMA, ["all"], "keep", False, ORLIM_SCHEMA_ALL),
])
def test_routes(doc, filter_, output_format, flatten, expected):
    assert simplify(doc, filter_, output_format=output_format, flatten=flatten) == expected


# a and b stay (more than two ports in use); w, x and y pass through, of the components
# straight, "all" and bend.
FILTER_CELL = {"c": {
    "instances": {"a": "mmi", "w": "straight", "x": "all", "y": "bend", "b": "mmi"},
    "nets": [{"p1": "a,o2", "p2": "w,o1"}, {"p1": "w,o2", "p2": "b,o1"},
             {"p1": "a,o3", "p2": "x,o1"}, {"p1": "x,o2", "p2": "b,o2"},
             {"p1": "a,o4", "p2": "y,o1"}, {"p1": "y,o2", "p2": "b,o4"}],
    "ports": {"in": "a,o1", "out": "b,o3"},
}}


@pytest.mark.parametrize("filter_, remaining", [
    (["all"], "a b"),
    (["ALL"], "a b"),
    (["all", "straight"], "a y b"),  # a set: "all" is a component name here
    (["straight"], "a x y b"),
    (("straight",), "a x y b"),  # any sequence
    (["straight", "straight"], "a x y b"),
    (["Straight"], "a w x y b"),
    ([" straight"], "a w x y b"),  # entries are taken as given
    ([], "a w x y b"),
])
def test_filters(filter_, remaining):
    out = simplify(FILTER_CELL, filter_, output_format="orlim")
    assert " ".join(out["instances"]) == remaining


def test_formats_and_defaults():
    text = json.dumps({"chip": FLAT})
    default = _orlim.simplify(text, ["all"])
    assert not default.endswith("\n")
    assert json.loads(default) == FLAT_ALL_ORLIM
    assert default == json.dumps(FLAT_ALL_ORLIM, indent=2)
    as_yaml = _orlim.simplify(text, ["all"], "yaml", "px")
    assert as_yaml.endswith("\n")
    assert yaml.safe_load(as_yaml) == FLAT_ALL_PX
    recursive = _orlim.simplify(json.dumps(CELLS), ["straight"], format="yaml",
                                output_format="plarix")
    assert yaml.safe_load(recursive) == CELLS_STRAIGHT_PX
    assert recursive.startswith("top:\n  instances:\n")


def test_errors_in_their_order():
    good = json.dumps(CELLS)
    schema = "output_format must be 'keep', 'orlim', 'plarix', or 'px'"
    fmt = "format must be 'yaml' or 'json'"
    cases = [
        # The schema is checked before the text is read, the format only when writing.
        (("not json", ["all"], "json", "ORLIM"), schema),
        (("not json", ["all"], "xml", "keep"), "Failed to parse netlist JSON: "),
        (("[1, 2]", ["all"], "xml", "plarix"), "Failed to parse netlist JSON: "),
        (('{"top": {"nets": 3}}', ["all"], "json", "orlim"), "Failed to parse netlist JSON: "),
        ((good, ["all"], "xml", "keep"), fmt),
        ((good, ["all"], "YAML", "plarix"), fmt),
        ((good, ["all"], "xml", "px", True), fmt),
        ((json.dumps(FLAT), ["all"], "xml", "px"), fmt),
    ]
    for args, message in cases:
        with pytest.raises(ValueError) as e:
            _orlim.simplify(*args)
        assert str(e.value).startswith(message), args


@pytest.mark.parametrize("call, word", [
    (lambda: _orlim.simplify("{}"), "remove_twoports"),
    (lambda: _orlim.simplify("{}", "all"), "remove_twoports"),
    (lambda: _orlim.simplify("{}", ["all", 1]), "remove_twoports"),
    (lambda: _orlim.simplify("{}", None), "remove_twoports"),
    (lambda: _orlim.simplify(b"{}", ["all"]), "netlist_json"),
    (lambda: _orlim.simplify("{}", ["all"], None), "format"),
    (lambda: _orlim.simplify("{}", ["all"], output_format=None), "output_format"),
    (lambda: _orlim.simplify("{}", ["all"], flatten=1), "flatten"),
    (lambda: _orlim.simplify("{}", ["all"], flatten=None), "flatten"),
    (lambda: _orlim.simplify("{}", ["all"], "json", "keep", False, 1), "at most"),
    (lambda: _orlim.simplify("{}", ["all"], filter=["x"]), "filter"),
])
def test_argument_errors(call, word):
    with pytest.raises(TypeError, match=word):
        call()


def test_input_left_as_given_and_keywords():
    text = json.dumps(CELLS)
    out = _orlim.simplify(netlist_json=text, remove_twoports=["straight"], flatten=True,
                          output_format="px", format="json")
    assert json.loads(out) == CELLS_FLAT_STRAIGHT_PX
    assert json.loads(text) == CELLS


# --- command line ---------------------------------------------------------------------------

@pytest.fixture
def write(tmp_path):
    def write(name, doc):
        path = tmp_path / name
        path.write_text(doc if isinstance(doc, str) else yaml.safe_dump(doc, sort_keys=False))
        return str(path)
    return write


def run_json(orlim, *args):
    r = orlim("simplify", *args, "-f", "json")
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""
    assert r.stdout.endswith("}\n")
    return json.loads(r.stdout)


@pytest.mark.parametrize("name, doc, args, expected", [
    # keep: a flat Plarix file (instances as mappings) stays Plarix, an orlim file stays orlim.
    ("flat.pic.yml", FLAT, ["--remove-twoports", "all"], FLAT_ALL_PX),
    ("flat.pic.yml", FLAT, ["--remove-twoports", "all", "--flatten"], FLAT_ALL_PX),
    ("flat.pic.yml", FLAT, ["--remove-twoports", "all", "--output-format", "orlim"],
     FLAT_ALL_ORLIM),
    ("orlim.yml", ORLIM_SCHEMA, ["--remove-twoports", "ALL"], ORLIM_SCHEMA_ALL),
    ("orlim.yml", ORLIM_SCHEMA, ["--remove-twoports", "all", "--output-format", "px"],
     {"instances": px_instances(ORLIM_SCHEMA_ALL["instances"]),
      "nets": ORLIM_SCHEMA_ALL["nets"], "ports": ORLIM_SCHEMA_ALL["ports"]}),
    # Trimmed comma-separated names.
    ("flat.pic.yml", FLAT, ["--remove-twoports", "straight, bend_euler", "--output-format",
                            "plarix"], FLAT_ALL_PX),
    ("flat.pic.yml", FLAT, ["--remove-twoports", " straight ,", "--output-format", "orlim"],
     {**FLAT_ALL_ORLIM,
      "instances": {"gc_in": "grating", "b1": "bend_euler",
                    **{k: v for k, v in FLAT_ALL_ORLIM["instances"].items() if k != "gc_in"}},
      "nets": FLAT_STRAIGHT_NETS}),
    # " all" is not the keyword: it names the component "all" after trimming.
    ("flat.pic.yml", FLAT, ["--remove-twoports", " all", "--output-format", "orlim"],
     {"instances": {"gc_in": "grating", "s1": "straight", "b1": "bend_euler", "s2": "straight",
                    "mmi": "mmi1x2", "gc<0.0>": "grating", "gc<1.0>": "grating",
                    "s3": "straight", "term": "terminator"},
      "nets": [{"p1": "gc_in,o1", "p2": "s1,o1"}, *FLAT["nets"], {"p1": "s2,o2", "p2": "mmi,o1"}],
      "ports": FLAT["ports"]}),
    # A file of cells: simplified cell by cell, flattened with --flatten, or flattened by the
    # orlim route (which keep selects for it).
    ("cells.pic.yml", CELLS, ["--remove-twoports", "straight", "--output-format", "px"],
     CELLS_STRAIGHT_PX),
    ("cells.pic.yml", CELLS, ["--remove-twoports", "straight", "--output-format", "px",
                              "--flatten"], CELLS_FLAT_STRAIGHT_PX),
    ("cells.pic.yml", CELLS, ["--remove-twoports", "straight"], CELLS_FLAT_STRAIGHT),
    # One cell in a file of cells: --flatten flattens it, unlike the Python function.
    ("one.pic.yml", {"top": CELLS["top"]}, ["--remove-twoports", "straight", "--output-format",
                                            "px", "--flatten"],
     {"instances": px_instances({"gc1": "grating", "u": "ring_cell", "gc2": "grating"}),
      "nets": [{"p1": "gc1,o1", "p2": "u,in"}, {"p1": "u,out", "p2": "gc2,o1"}], "ports": {}}),
    ("one.pic.yml", {"top": CELLS["top"]}, ["--remove-twoports", "straight", "--output-format",
                                            "px"],
     {"top": CELLS_STRAIGHT_PX["top"]}),
    # A flat file written as JSON is recognised as flat too.
    ("flat.json", json.dumps(FLAT), ["--remove-twoports", "all"], FLAT_ALL_PX),
])
def test_command_routes(orlim, write, name, doc, args, expected):
    assert run_json(orlim, write(name, doc), *args) == expected


def test_command_yaml_default_and_output_file(orlim, write, tmp_path):
    path = write("flat.pic.yml", FLAT)
    r = orlim("simplify", path, "--remove-twoports", "all")
    assert r.returncode == 0 and r.stderr == ""
    assert r.stdout == _orlim.simplify(json.dumps(FLAT), ["all"], "yaml") + "\n"
    assert yaml.safe_load(r.stdout) == FLAT_ALL_PX
    out = tmp_path / "out.json"
    r = orlim("simplify", path, "--remove-twoports", "all", "-f", "json", "-o", out)
    assert r.returncode == 0 and r.stdout == ""
    assert r.stderr == f"Wrote simplified netlist to {out}\n"
    assert out.read_text() == _orlim.simplify(json.dumps(FLAT), ["all"])


def test_command_failures(orlim, write, tmp_path):
    flat = write("flat.pic.yml", FLAT)
    broken = write("broken.pic.yml", "instances:\n  a: [unclosed\n")
    bad_cell = write("bad.pic.yml", "top:\n  nets: 3\n")
    usage = [
        [flat],                                                      # FILTER missing
        [flat, "--remove-twoports"],
        [flat, "--remove-twoports", "all", "--output-format", "Orlim"],
        [flat, "--remove-twoports", "all", "-f", "xml"],
        [flat, "--remove-twoports", "all", "--flatten=yes"],
    ]
    for args in usage:
        r = orlim("simplify", *args)
        assert r.returncode == 2, args
        assert r.stdout == ""
    failures = [
        ([tmp_path / "missing.pic.yml", "--remove-twoports", "all"],
         "Error: No such file or directory (os error 2)\n"),
        ([broken, "--remove-twoports", "all"], "Error: "),
        ([broken, "--remove-twoports", "all", "--output-format", "orlim"], "Error: Parse error: "),
        ([bad_cell, "--remove-twoports", "all", "--output-format", "px"],
         "Error: invalid type: integer `3`"),
        ([flat, "--remove-twoports", "all", "-o", tmp_path / "no" / "out.yml"],
         "Error: No such file or directory"),
    ]
    for args, message in failures:
        r = orlim("simplify", *args)
        assert r.returncode == 1, args
        assert r.stderr.startswith(message), (args, r.stderr)
        assert r.stdout == ""
    assert not (tmp_path / "no").exists()


def test_command_help(orlim):
    r = orlim("simplify", "--help")
    assert r.returncode == 0
    assert r.stdout.startswith("Simplify a netlist by removing 2-port routing instances\n")
    for text in ["--remove-twoports FILTER", "--output-format OUTPUT_FORMAT", "--flatten",
                 '"all" or comma-separated component names', "Serialization format"]:
        assert text in r.stdout
    listing = orlim("--help").stdout
    order = [listing.index(f"  {name}") for name in
             ["extract ", "convert ", "extract-ports ", "simplify "]]
    assert order == sorted(order)
