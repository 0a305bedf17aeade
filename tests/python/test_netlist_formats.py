"""convert, load_schematics and `orlim convert`, end to end, YAML and JSON."""

import json
import textwrap

import pytest
import yaml

import _orlim

CHIP = textwrap.dedent("""\
    # a flat schematic
    instances:
      mmi: {component: mmi1x2, settings: {width: 0.5, length: 10, label: '007'}}
      gc:
        component: grating
        array: {columns: 2, rows: 1, column_pitch: 127.0}
      s1: straight
    connections:
      mmi,o2: s1,o1
    routes:
      r1:
        links:
          s1,o2: gc<0.0>,o1
    nets:
      - p1: mmi,o3
        p2: gc<1.0>,o1
    ports:
      in: mmi,o1
    placements:
      mmi: {x: 0, y: 1.5, rotation: 180}
    info: {b: 2, a: 1}
    _extra: dropped
    """)

CHIP_CONVERTED = {
    "instances": {"mmi": "mmi1x2", "gc<0.0>": "grating", "gc<1.0>": "grating", "s1": "straight"},
    "nets": [{"p1": "mmi,o2", "p2": "s1,o1"}, {"p1": "mmi,o3", "p2": "gc<1.0>,o1"},
             {"p1": "s1,o2", "p2": "gc<0.0>,o1"}],
    "ports": {"in": "mmi,o1"},
}

CELLS = textwrap.dedent("""\
    top:
      instances: {u: sub, gc: grating}
      nets:
      - {p1: "u,out", p2: "gc,o1"}
      ports: {in: "u,in"}
    sub:
      instances: {m1: mmi, m2: mmi}
      nets:
      - {p1: "m1,o2", p2: "m2,o1"}
      ports: {out: "m2,o2", in: "m1,o1"}
    """)

CELLS_FLAT = {
    "instances": {"u~m1": "mmi", "u~m2": "mmi", "gc": "grating"},
    "nets": [{"p1": "u~m1,o2", "p2": "u~m2,o1"}, {"p1": "u~m2,o2", "p2": "gc,o1"}],
    "ports": {"in": "u~m1,o1"},
}


@pytest.fixture
def files(tmp_path):
    def write(name, text):
        path = tmp_path / name
        path.write_text(text)
        return str(path)
    return write


def test_load_schematics_returns_compact_json_of_the_plarix_model(files):
    chip = files("chip.pic.yml", CHIP)
    text = _orlim.load_schematics([chip])
    assert " " not in text.replace("'", "") and "\n" not in text
    cells = json.loads(text)
    assert list(cells) == ["chip"]
    assert list(cells["chip"]) == ["instances", "connections", "routes", "nets", "ports",
                                   "placements", "info"]
    assert cells["chip"]["instances"]["mmi"] == {
        "component": "mmi1x2", "settings": {"label": "007", "length": 10, "width": 0.5}}
    assert cells["chip"]["instances"]["gc"]["array"] == {
        "columns": 2, "rows": 1, "column_pitch": 127.0, "row_pitch": 0.0}
    assert cells["chip"]["routes"]["r1"]["routing_strategy"] == "route_bundle"
    assert cells["chip"]["placements"] == {"mmi": {"x": 0, "y": 1.5, "rotation": 180}}
    assert cells["chip"]["info"] == {"a": 1, "b": 2}


def test_load_schematics_names_and_order(files, tmp_path, monkeypatch):
    a = files("a.pic.yml", "instances: {x: straight}\n")
    b = files("b.yml", "nets: []\n")
    c = files("cells.pic.yml", CELLS)
    loaded = json.loads(_orlim.load_schematics([a, b, c]))
    assert list(loaded) == ["a", "b", "top", "sub"]
    # "name:path" names a flat file (not a file of cells); the same name again replaces the
    # cell in place.
    monkeypatch.chdir(tmp_path)
    loaded = json.loads(_orlim.load_schematics(["x:a.pic.yml", "b.yml", "x:cells.pic.yml",
                                                "x:b.yml"]))
    assert list(loaded) == ["x", "b", "top", "sub"]
    assert loaded["x"]["instances"] == {}


def test_schematics_round_trip_through_json_and_yaml(files):
    first = _orlim.load_schematics([files("cells.pic.yml", CELLS), files("chip.pic.yml", CHIP)])
    # The JSON text of a map of cells loads again as it is, and so does its YAML form.
    again = _orlim.load_schematics([files("again.json", first)])
    assert again == first
    as_yaml = yaml.safe_dump(json.loads(first), sort_keys=False)
    assert _orlim.load_schematics([files("again.pic.yml", as_yaml)]) == first


@pytest.mark.parametrize("text, message", [
    ("instances:\n  a: [x\n", "Failed to load schematics: Parse error: "),
    ("ports:\n  p: nocomma\n", "Failed to load schematics: Parse error: Invalid InstancePort "
                               "format: 'nocomma' (expected 'instance,port') at line 2"),
    ("instances:\n  a: 5\n", "Failed to load schematics: Parse error: Invalid data format for "
                             "Instance"),
    ("top:\n  nets: 3\n", "Failed to load schematics: Parse error: invalid type: integer `3`, "
                          "expected a sequence"),
])
def test_load_schematics_parse_errors(files, text, message):
    with pytest.raises(ValueError) as e:
        _orlim.load_schematics([files("bad.pic.yml", text)])
    assert str(e.value).startswith(message)


def test_load_schematics_argument_errors(tmp_path):
    with pytest.raises(ValueError, match=r"^Failed to load schematics: IO error: No such file or "
                                         r"directory \(os error 2\)$"):
        _orlim.load_schematics([str(tmp_path / "missing.pic.yml")])
    for bad in ("one.pic.yml", [1], None):
        with pytest.raises(TypeError):
            _orlim.load_schematics(bad)
    assert _orlim.load_schematics([]) == "{}"


def test_convert_flat_and_single_cell(files):
    cells = _orlim.load_schematics([files("chip.pic.yml", CHIP)])
    out = _orlim.convert(cells)
    assert not out.endswith("\n") and out.startswith('{\n  "instances": {\n    "mmi": "mmi1x2",')
    assert json.loads(out) == CHIP_CONVERTED
    # A flat netlist object (first key a netlist field) is converted as one cell.
    assert json.loads(_orlim.convert(json.dumps(json.loads(cells)["chip"]))) == CHIP_CONVERTED
    as_yaml = _orlim.convert(cells, format="yaml")
    assert as_yaml.endswith("\n") and yaml.safe_load(as_yaml) == CHIP_CONVERTED
    assert _orlim.convert("{}") == "{}" and _orlim.convert("{}", "yaml") == "{}\n"


def test_convert_flattens_with_the_first_cell_as_top():
    cells = yaml.safe_load(CELLS)
    assert json.loads(_orlim.convert(json.dumps(cells))) == CELLS_FLAT
    swapped = json.dumps({"sub": cells["sub"], "top": cells["top"]})
    assert json.loads(_orlim.convert(swapped)) == {
        "instances": {"m1": "mmi", "m2": "mmi"},
        "nets": [{"p1": "m1,o2", "p2": "m2,o1"}],
        "ports": {"out": "m2,o2", "in": "m1,o1"}}


def test_convert_cyclic_hierarchy_keeps_the_closing_instance_as_leaf():
    cells = {"a": {"instances": {"x": "b"}}, "b": {"instances": {"y": "a", "me": "b"}}}
    assert json.loads(_orlim.convert(json.dumps(cells))) == {
        "instances": {"x~y": "a", "x~me": "b"}}


@pytest.mark.parametrize("text, message", [
    ("{", "parse error at line 1, column 2"),
    ("[1]", "invalid type: sequence, expected a map"),
    ('{"top": []}', "expected Could not deserialize netlist"),
    ('{"top": {"ports": {"p": "nocomma"}}}', "Invalid InstancePort format: 'nocomma'"),
    ('{"top": {"instances": {"a": null}}}', "Invalid data format for Instance"),
    ('{"top": {"instances": {"a": {"settings": {}}}}}', "missing field `component`"),
    ('{"top": {"instances": {"a": {"component": "x", "settings": 1}}}}',
     "Invalid data format for settings"),
    ('{"top": {"nets": [{"p1": "a,b", "p1": "c,d"}]}}', "duplicate field `p1`"),
    ('{"top": {"routes": {"r": {"links": {}, "links": {}}}}}', "duplicate field `links`"),
])
def test_convert_reading_errors(text, message):
    with pytest.raises(ValueError) as e:
        _orlim.convert(text)
    assert str(e.value).startswith("Failed to parse netlist JSON: ")
    assert message in str(e.value)


def test_convert_argument_errors():
    for fmt in ("YAML", "xml", ""):
        with pytest.raises(ValueError, match=r"^format must be 'yaml' or 'json'$"):
            _orlim.convert("{}", fmt)
    with pytest.raises(TypeError):
        _orlim.convert("{}", None)
    with pytest.raises(TypeError):
        _orlim.convert(b"{}")
    # A reading error comes before a format error.
    with pytest.raises(ValueError, match="Failed to parse netlist JSON"):
        _orlim.convert("{", "xml")


def test_orlim_convert_command(orlim, files, tmp_path):
    cells = files("cells.pic.yml", CELLS)
    done = orlim("convert", cells)
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout.endswith("\n\n") and yaml.safe_load(done.stdout) == CELLS_FLAT
    out = tmp_path / "out.json"
    done = orlim("convert", cells, "--format", "json", "-o", out)
    assert (done.returncode, done.stdout) == (0, "")
    assert done.stderr == f"Wrote converted netlist to {out}\n"
    # The same text as the Python function on the loaded schematic.
    assert out.read_text() == _orlim.convert(_orlim.load_schematics([cells]))
    # A flat file, in YAML and JSON, gives the netlist of its one cell.
    chip = files("chip.pic.yml", CHIP)
    chip_json = files("chip.json", json.dumps(yaml.safe_load(CHIP)))
    for path in (chip, chip_json):
        done = orlim("convert", path, "-f", "json")
        assert done.returncode == 0 and json.loads(done.stdout) == CHIP_CONVERTED


def test_orlim_convert_failures(orlim, files, tmp_path):
    missing = tmp_path / "missing.pic.yml"
    done = orlim("convert", missing, "-o", tmp_path / "out.yml")
    assert (done.returncode, done.stdout) == (1, "")
    assert done.stderr == "Error: IO error: No such file or directory (os error 2)\n"
    assert not (tmp_path / "out.yml").exists()
    done = orlim("convert", files("bad.pic.yml", "nets:\n- p1: a,b\n  p1: c,d\n"))
    assert done.returncode == 1
    assert done.stderr.startswith("Error: Parse error: duplicate field `p1` at line 3")
    done = orlim("convert", files("ok.pic.yml", "nets: []\n"), "-f", "xml")
    assert done.returncode == 2 and done.stdout == ""
    help_text = orlim("convert", "--help").stdout
    assert "Convert a px-netlist (.pic.yml) to orlim-netlist format" in help_text
    assert "Path to the input netlist (.pic.yml)" in help_text
