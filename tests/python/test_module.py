import inspect
import subprocess
import sys

import pytest

import _orlim

DOCUMENTED_ORDER = ["extract_netlist", "extract_ports", "lvs", "lvs_ok", "convert", "simplify",
                    "load_schematics", "cli"]
SIGNATURES = {
    "extract_netlist": '(gds_path, format="yaml", tolerance_nm=...)',
    "extract_ports": '(gds_path, format="yaml")',
    "lvs": '(layout_path, schematic_json, format="yaml", tolerance_nm=None, short_layers=None, '
           'connected_layers=None, equivalent_ports=None, top_cell=None)',
    "lvs_ok": "(layout_path, schematic_json, tolerance_nm=None)",
    "convert": '(netlist_json, format="json")',
    "simplify": '(netlist_json, remove_twoports, format="json", output_format="keep", '
                'flatten=False)',
    "load_schematics": "(paths)",
    "cli": "(args)",
}


def registered():
    return [name for name in vars(_orlim) if name in DOCUMENTED_ORDER]


def test_functions_are_registered_in_documented_order_then_the_constant():
    names = registered()
    assert {"extract_ports", "cli"} <= set(names)
    assert names == [n for n in DOCUMENTED_ORDER if n in names]
    public = [n for n in vars(_orlim) if not n.startswith("__")]
    assert public[-1] == "DEFAULT_TOLERANCE_NM"
    assert type(_orlim.DEFAULT_TOLERANCE_NM) is int and _orlim.DEFAULT_TOLERANCE_NM == 1


@pytest.mark.parametrize("name", DOCUMENTED_ORDER)
def test_docstring_carries_the_text_signature(name):
    fn = getattr(_orlim, name, None)
    if fn is None:
        pytest.skip(f"{name} is not built yet")
    assert fn.__text_signature__ == SIGNATURES[name]
    inspect.signature(fn)  # parses
    assert fn.__doc__.strip()


def test_binding_errors_name_the_parameter(chip_gds):
    cases = [
        (lambda: _orlim.extract_ports(), TypeError, "gds_path"),
        (lambda: _orlim.extract_ports(str(chip_gds), None), TypeError, "format"),
        (lambda: _orlim.extract_ports(str(chip_gds), format=1), TypeError, "format"),
        (lambda: _orlim.extract_ports(chip_gds), TypeError, "gds_path"),
        (lambda: _orlim.extract_ports(str(chip_gds), "yaml", "extra"), TypeError, "at most"),
        (lambda: _orlim.extract_ports(str(chip_gds), colour="red"), TypeError, "colour"),
        (lambda: _orlim.cli("orlim --version"), TypeError, "args"),
        (lambda: _orlim.cli(["orlim", 3]), TypeError, "args"),
        (lambda: _orlim.cli(None), TypeError, "args"),
    ]
    for call, exc, word in cases:
        with pytest.raises(exc, match=word):
            call()


def test_cli_ends_the_process_with_the_parser_status():
    def run(code):
        return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)

    version = run("import _orlim; _orlim.cli(['orlim', '--version']); print('not reached')")
    assert version.returncode == 0
    assert version.stdout == "orlim 0.1.8\n"
    bare = run("import _orlim; _orlim.cli(['orlim'])")
    assert bare.returncode == 2
    assert "Usage:" in bare.stderr and bare.stdout == ""
    # Output printed from Python before the call is not lost when the process ends.
    before = run("import _orlim; print('first', flush=False); _orlim.cli(['orlim', '-V'])")
    assert before.stdout == "first\norlim 0.1.8\n"


def test_cli_returns_none_on_success(chip_gds):
    code = ("import _orlim, sys; r = _orlim.cli(['orlim', 'extract-ports', sys.argv[1]]); "
            "print('returned', r)")
    done = subprocess.run([sys.executable, "-c", code, str(chip_gds)], capture_output=True,
                          text=True)
    assert done.returncode == 0
    assert done.stdout.endswith("\nreturned None\n")
