import json
import math

import gdstk
import pytest
import yaml

import _orlim
from conftest import add_port_metadata, named

WG_PORTS = [("o1", 0, 0, 180), ("o2", 10000, 0, 0)]


def waveguide_library(new_library):
    lib = new_library
    wg = lib.new_cell("straight_L10")
    wg.add(gdstk.rectangle((0, -0.25), (10, 0.25)))
    add_port_metadata(lib, wg, WG_PORTS)
    return lib, wg


def nets_of(netlist):
    return [(n["p1"], n["p2"]) for n in netlist.get("nets", [])]


def test_small_chip_chain(chip_gds):
    netlist = yaml.safe_load(_orlim.extract_netlist(str(chip_gds)))
    assert list(netlist["instances"]) == [
        "split", "straight_L10_N2_CSxs_sc_10000_625", "bend_euler_R10_20000_-625_r-90",
        "combine"]
    assert netlist["instances"]["split"] == "mmi1x2"
    assert ("split,o2", "straight_L10_N2_CSxs_sc_10000_625,o1") in nets_of(netlist)


def test_rotated_mirrored_and_arrayed_references(tmp_path, new_library):
    lib, wg = waveguide_library(new_library)
    top = lib.new_cell("top")
    # A chain: a (0..10), b rotated 180 placed at 20 (its o1 at 20, o2 at 10), then an
    # array of 3 columns with pitch 10 from 20 to 50, then a mirrored piece turned 90 degrees
    # that does not face the array's end.
    top.add(named(gdstk.Reference(wg, (0, 0)), "a"))
    top.add(named(gdstk.Reference(wg, (20, 0), rotation=math.pi), "b"))
    top.add(gdstk.Reference(wg, (20, 0), columns=3, rows=1, spacing=(10, 0)))
    top.add(gdstk.Reference(wg, (50, 0), rotation=math.pi / 2, x_reflection=True))
    path = tmp_path / "chain.gds"
    lib.write_gds(str(path))
    netlist = json.loads(_orlim.extract_netlist(str(path), "json"))
    assert list(netlist["instances"]) == [
        "a", "b", "straight_L10_20000_0<0.0>", "straight_L10_20000_0<1.0>",
        "straight_L10_20000_0<2.0>", "straight_L10_50000_0_r90_m"]
    assert nets_of(netlist) == [
        ("a,o2", "b,o2"),
        ("b,o1", "straight_L10_20000_0<0.0>,o1"),
        ("straight_L10_20000_0<0.0>,o2", "straight_L10_20000_0<1.0>,o1"),
        ("straight_L10_20000_0<1.0>,o2", "straight_L10_20000_0<2.0>,o1"),
    ]
    assert "ports" not in netlist  # the top cell has no port metadata


def test_tolerance_and_top_ports(tmp_path, new_library):
    lib, wg = waveguide_library(new_library)
    top = lib.new_cell("top")
    top.add(named(gdstk.Reference(wg, (0, 0)), "a"))
    top.add(named(gdstk.Reference(wg, (10.003, 0), rotation=0), "b"))  # a 3 nm gap
    add_port_metadata(lib, top, [("in", 0, 0, 180), ("out", 20003, 0, 0)])
    path = tmp_path / "gap.gds"
    lib.write_gds(str(path))
    tight = yaml.safe_load(_orlim.extract_netlist(str(path)))
    assert "nets" not in tight
    assert tight["ports"] == {"in": "a,o1", "out": "b,o2"}
    loose = yaml.safe_load(_orlim.extract_netlist(str(path), tolerance_nm=3))
    assert nets_of(loose) == [("a,o2", "b,o1")]
    assert yaml.safe_load(_orlim.extract_netlist(str(path), tolerance_nm=-1)).get("ports") is None
    assert _orlim.extract_netlist(str(path), tolerance_nm=True) == _orlim.extract_netlist(str(path))


def test_argument_and_operation_errors(tmp_path, chip_gds, new_library):
    with pytest.raises(TypeError, match="tolerance_nm"):
        _orlim.extract_netlist(str(chip_gds), "yaml", None)
    with pytest.raises(TypeError, match="tolerance_nm"):
        _orlim.extract_netlist(str(chip_gds), tolerance_nm=1.5)
    with pytest.raises(OverflowError):
        _orlim.extract_netlist(str(chip_gds), tolerance_nm=2**63)
    with pytest.raises(ValueError, match="^GDS file error: "):
        _orlim.extract_netlist(str(tmp_path / "missing.gds"), "xml")
    with pytest.raises(ValueError, match="^format must be 'yaml' or 'json'$"):
        _orlim.extract_netlist(str(chip_gds), "xml")
    new_library.new_cell("$$$CONTEXT_INFO$$$")
    new_library.write_gds(str(tmp_path / "ctx.gds"))
    with pytest.raises(ValueError, match="^Cell not found: No cells found in GDS$"):
        _orlim.extract_netlist(str(tmp_path / "ctx.gds"))


def test_command_line_matches_python(orlim, chip_gds, tmp_path):
    for fmt in ("yaml", "json"):
        done = orlim("extract", chip_gds, "-f", fmt, "--tolerance", "1")
        assert done.returncode == 0 and done.stderr == ""
        assert done.stdout == _orlim.extract_netlist(str(chip_gds), fmt) + "\n"
    out = tmp_path / "n.yaml"
    done = orlim("extract", chip_gds, "-o", out)
    assert done.stderr == f"Wrote netlist to {out}\n"
    assert out.read_text() == _orlim.extract_netlist(str(chip_gds))
    for bad in (["-t", "1.5"], ["-t", "99999999999999999999"], ["-f", "xml"]):
        assert orlim("extract", chip_gds, *bad).returncode == 2
    assert orlim("extract", tmp_path / "missing.gds").returncode == 1
