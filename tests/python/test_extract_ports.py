import json
import os

import gdstk
import pytest
import yaml

import _orlim
from conftest import add_port_metadata, named

EXPECTED = {
    "mmi1x2": ["o1", "o2", "o3"],
    "straight": ["o1", "o2"],
    "bend_euler": ["o1", "o2"],
}


def test_port_table_in_both_formats(chip_gds):
    text = _orlim.extract_ports(str(chip_gds))
    assert text.endswith("\n")
    assert yaml.safe_load(text) == EXPECTED
    assert text.startswith("mmi1x2:\n- o1\n- o2\n- o3\nstraight:\n")  # file order
    js = _orlim.extract_ports(gds_path=str(chip_gds), format="json")
    assert not js.endswith("\n")
    assert json.loads(js) == EXPECTED
    assert js.startswith('{\n  "mmi1x2": [\n    "o1",')


def test_same_component_from_two_cells_takes_the_first(tmp_path, new_library):
    lib = new_library
    a, b = lib.new_cell("wg_A"), lib.new_cell("wg_B")
    add_port_metadata(lib, a, [("a1",)])
    add_port_metadata(lib, b, [("b1",), ("b2",)])
    top = lib.new_cell("top")
    top.add(gdstk.Reference(a), gdstk.Reference(b))
    lib.write_gds(str(tmp_path / "two.gds"))
    for _ in range(3):
        assert json.loads(_orlim.extract_ports(str(tmp_path / "two.gds"), "json")) == {
            "wg": ["a1"]}


def test_names_that_read_back_as_other_types_are_quoted(tmp_path, new_library):
    lib = new_library
    cell = lib.new_cell("c")
    add_port_metadata(lib, cell, [("1",), ("true",), ("null",), ("o:1 x",), ("ü",)])
    lib.write_gds(str(tmp_path / "q.gds"))
    text = _orlim.extract_ports(str(tmp_path / "q.gds"))
    assert text == "c:\n- '1'\n- 'true'\n- 'null'\n- o:1 x\n- ü\n"
    assert yaml.safe_load(text) == {"c": ["1", "true", "null", "o:1 x", "ü"]}


def test_layout_without_ports_gives_empty_table(tmp_path, new_library):
    new_library.new_cell("lonely")
    new_library.write_gds(str(tmp_path / "e.gds"))
    assert _orlim.extract_ports(str(tmp_path / "e.gds")) == "{}\n"
    assert _orlim.extract_ports(str(tmp_path / "e.gds"), "json") == "{}"


def test_load_errors_come_before_format_errors(tmp_path, chip_gds):
    missing = tmp_path / "missing.gds"
    with pytest.raises(ValueError) as err:
        _orlim.extract_ports(str(missing), "xml")
    assert str(err.value) == (f"GDS file error: cannot read '{missing}': "
                              "No such file or directory (os error 2)")
    with pytest.raises(ValueError, match="^format must be 'yaml' or 'json'$"):
        _orlim.extract_ports(str(chip_gds), "YAML")


@pytest.mark.parametrize("content, message", [
    (b"", "empty file"),
    (b"\x00\x06\x00\x02\x02", "truncated record"),
    (b"not a gds file at all", "not a GDSII stream file"),
    (b"\x00\x06\x00\x02\x02\x58\x00\x04\x04\x00", "expected BGNLIB record after HEADER"),
])
def test_damaged_files_are_refused(tmp_path, content, message):
    path = tmp_path / "bad.gds"
    path.write_bytes(content)
    with pytest.raises(ValueError, match=f"^GDS file error: .*{message}"):
        _orlim.extract_ports(str(path))


def test_truncated_copy_of_a_real_layout(tmp_path, chip_gds):
    data = chip_gds.read_bytes()
    for cut in range(0, len(data), max(1, len(data) // 40)):
        path = tmp_path / "cut.gds"
        path.write_bytes(data[:cut])
        with pytest.raises(ValueError, match="^GDS file error: "):
            _orlim.extract_ports(str(path))


def test_directory_and_cyclic_hierarchy(tmp_path, new_library):
    with pytest.raises(ValueError, match="Is a directory"):
        _orlim.extract_ports(str(tmp_path))
    lib = new_library
    a, b = lib.new_cell("a"), lib.new_cell("b")
    a.add(gdstk.Reference(b))
    b.add(gdstk.Reference(a))
    lib.write_gds(str(tmp_path / "cycle.gds"))
    with pytest.raises(ValueError, match=r"^GDS file error: recursive cell hierarchy: a -> b -> a$"):
        _orlim.extract_ports(str(tmp_path / "cycle.gds"))


def test_non_utf8_path(tmp_path, chip_gds):
    odd = os.fsdecode(bytes(tmp_path) + b"/chip\xff.gds")
    os.rename(chip_gds, odd)
    assert yaml.safe_load(_orlim.extract_ports(odd)) == EXPECTED
