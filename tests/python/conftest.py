"""Shared fixtures: GDS layouts written with gdstk, and a runner for the command line."""

import subprocess
import sys
from pathlib import Path

import gdstk
import pytest

CONTEXT = "$$$CONTEXT_INFO$$$"


def port_entry(index, name, x=0, y=0, rotation=0, port_type="optical", cross_section=None):
    fields = [f"'name'=>'{name}'", f"'port_type'=>'{port_type}'",
              f"'trans'=>[trans:r{rotation} {x},{y}]"]
    if cross_section:
        fields.append(f"'cross_section'=>'{cross_section}'")
    return f"zindel:ports:{index}')={{{','.join(fields)}}}"


def cross_section_entry(name, width):
    return f"zindel:cross_section:{name}')={{'width'=>#l{width}}}"


def add_port_metadata(lib, cell, ports, cross_sections=()):
    """Registers `ports` (tuples of port_entry arguments) for `cell` in the context cell."""
    ctx = next((c for c in lib.cells if c.name == CONTEXT), None)
    if ctx is None:
        ctx = lib.new_cell(CONTEXT)
    ref = gdstk.Reference(cell)
    values = [cross_section_entry(*xs) for xs in cross_sections]
    values += [port_entry(i, *p) for i, p in enumerate(ports)]
    # gdstk writes properties in reverse order of setting them.
    for attr, value in reversed(list(enumerate(values))):
        ref.set_gds_property(attr, value)
    ctx.add(ref)
    return ref


def named(ref, name):
    ref.set_gds_property(0, name)
    return ref


def build_chip(path):
    """A small chip: a splitter, two waveguide sections, a bend and a combiner."""
    lib = gdstk.Library(unit=1e-6, precision=1e-9)
    mmi = lib.new_cell("mmi1x2_plarix_1a2b")
    mmi.add(gdstk.rectangle((0, -1), (10, 1), layer=1))
    straight = lib.new_cell("straight_L10_N2_CSxs_sc")
    straight.add(gdstk.rectangle((0, -0.25), (10, 0.25), layer=1))
    bend = lib.new_cell("bend_euler_R10")
    bend.add(gdstk.rectangle((0, -0.25), (10, 10), layer=1))
    top = lib.new_cell("chip")
    top.add(named(gdstk.Reference(mmi, (0, 0)), "split"))
    top.add(gdstk.Reference(straight, (10, 0.625)))
    top.add(gdstk.Reference(bend, (20, -0.625), rotation=-1.5707963267948966))
    top.add(named(gdstk.Reference(mmi, (60, 0), rotation=3.141592653589793), "combine"))
    with_xs = ("xs_sc", 500)
    add_port_metadata(lib, mmi, [("o1", -0, 0, 180, "optical", "xs_sc"),
                                 ("o2", 10000, 625, 0, "optical", "xs_sc"),
                                 ("o3", 10000, -625, 0, "optical", "xs_sc")], [with_xs])
    add_port_metadata(lib, straight, [("o1", 0, 0, 180), ("o2", 10000, 0, 0)])
    add_port_metadata(lib, bend, [("o1", 0, 0, 180), ("o2", 10000, 10000, 90)])
    lib.write_gds(str(path))
    return path


@pytest.fixture
def chip_gds(tmp_path):
    return build_chip(tmp_path / "chip.gds")


@pytest.fixture
def new_library():
    return gdstk.Library(unit=1e-6, precision=1e-9)


def run_orlim(*args, cwd=None):
    """Runs the command line in a fresh interpreter, as the console script does."""
    return subprocess.run([sys.executable, "-m", "orlim", *map(str, args)],
                          capture_output=True, text=True, cwd=cwd)


@pytest.fixture
def orlim():
    return run_orlim
