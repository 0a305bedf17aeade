import json
import shutil

import yaml

from test_extract_ports import EXPECTED


def test_version_and_help(orlim):
    for flag in ("--version", "-V"):
        done = orlim(flag)
        assert (done.returncode, done.stdout, done.stderr) == (0, "orlim 0.1.8\n", "")
    bare = orlim()
    assert bare.returncode == 2 and bare.stdout == ""
    assert "Orlim - A simple LVS tool for Plarix" in bare.stderr
    assert "extract-ports" in bare.stderr
    for args in (["--help"], ["help"], ["-h"]):
        done = orlim(*args)
        assert done.returncode == 0 and "Orlim - A simple LVS tool for Plarix" in done.stdout
    sub = orlim("help", "extract-ports")
    assert sub.returncode == 0
    assert "Extract component port table from a GDS file" in sub.stdout
    assert "Output file (stdout if not specified)" in sub.stdout
    assert orlim("extract-ports", "--help").stdout == sub.stdout


def test_usage_errors_exit_2(orlim, chip_gds):
    for args in (["frobnicate"], ["extract-ports"], ["extract-ports", chip_gds, "-f", "YAML"],
                 ["extract-ports", chip_gds, "--colour"], ["help", "nothing"],
                 ["extract-ports", chip_gds, "extra"]):
        done = orlim(*args)
        assert done.returncode == 2, args
        assert done.stdout == "" and done.stderr, args


def test_extract_ports_to_stdout_and_file(orlim, chip_gds, tmp_path):
    done = orlim("extract-ports", chip_gds)
    assert done.returncode == 0 and done.stderr == ""
    assert done.stdout.endswith("\n\n")  # the YAML text plus one newline
    assert yaml.safe_load(done.stdout) == EXPECTED
    out = tmp_path / "ports.json"
    done = orlim("extract-ports", chip_gds, "--format", "json", "-o", out)
    assert (done.returncode, done.stdout) == (0, "")
    assert done.stderr == f"Wrote component ports to {out}\n"
    text = out.read_text()
    assert not text.endswith("\n") and json.loads(text) == EXPECTED


def test_failures_exit_1_and_leave_no_file(orlim, chip_gds, tmp_path):
    missing = tmp_path / "nope.gds"
    out = tmp_path / "out.yaml"
    done = orlim("extract-ports", missing, "-o", out)
    assert done.returncode == 1 and done.stdout == ""
    assert done.stderr == (f"Error: GDS file error: cannot read '{missing}': "
                           "No such file or directory (os error 2)\n")
    assert not out.exists()
    done = orlim("extract-ports", chip_gds, "-o", tmp_path / "no" / "dir" / "x.yaml")
    assert done.returncode == 1
    assert done.stderr == "Error: No such file or directory (os error 2)\n"


def test_console_script_is_installed(chip_gds):
    import subprocess
    exe = shutil.which("orlim")
    assert exe, "the orlim console script is not on PATH"
    done = subprocess.run([exe, "extract-ports", str(chip_gds), "-f", "json"],
                          capture_output=True, text=True)
    assert done.returncode == 0 and json.loads(done.stdout) == EXPECTED
