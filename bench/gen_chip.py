"""Generates a large synthetic chip for the benchmarks.

Rows of four-port components, neighbours joined port to port through chains of three
straights; the first and last component of a row keep their outer ports open. Component
cells carry detailed geometry (many boundaries) and all cells carry port metadata in the
context cell. `--scale 2` doubles the number of rows (instances, nets, ports).

Run: python3 bench/gen_chip.py OUT.gds [--scale N] [--rows R] [--cols C]
"""

import argparse
import math

import gdstk

NM = 1e-3
COMPONENT_TYPES = 40
BOUNDARIES_PER_COMPONENT = 12000
W = 20.0       # component width, um
L = 10.0       # straight length, um
CHAIN = 3      # straights per connection
ROW_PITCH = 20.0


def metadata(ports):
    values = ["zindel:cross_section:xs_sc')={'width'=>#l500,'layer'=>[layer:1/0]}"]
    for i, (name, x, y, a) in enumerate(ports):
        values.append(f"zindel:ports:{i}')={{'name'=>'{name}','port_type'=>'optical',"
                      f"'trans'=>[trans:r{a} {round(x / NM)},{round(y / NM)}],"
                      f"'cross_section'=>'xs_sc'}}")
    return values


def register(ctx, cell, ports):
    ref = gdstk.Reference(cell)
    for attr, value in reversed(list(enumerate(metadata(ports)))):
        ref.set_gds_property(attr, value)
    ctx.add(ref)


def build(rows, cols):
    lib = gdstk.Library(unit=1e-6, precision=1e-9)
    ctx = gdstk.Cell("$$$CONTEXT_INFO$$$")
    comp_ports = [("o1", 0, 2, 180), ("o2", 0, -2, 180), ("o3", W, -2, 0), ("o4", W, 2, 0)]
    comps = []
    for k in range(COMPONENT_TYPES):
        cell = lib.new_cell(f"ring{k}_plarix_{k:04x}")
        polys = []
        for b in range(BOUNDARIES_PER_COMPONENT):
            cx, cy = (b % 100) * 0.2, (b // 100) * 0.03 - 1.8
            polys.append(gdstk.regular_polygon((cx, cy), 0.05, 9, layer=1 + b % 3))
        cell.add(*polys)
        register(ctx, cell, comp_ports)
        comps.append(cell)
    straight = lib.new_cell("straight_L10_N2_CSxs_sc")
    straight.add(gdstk.rectangle((0, -0.25), (L, 0.25), layer=1))
    register(ctx, straight, [("o1", 0, 0, 180), ("o2", L, 0, 0)])
    top = lib.new_cell("top")
    pitch = W + CHAIN * L
    refs = []
    for r in range(rows):
        y = r * ROW_PITCH
        for c in range(cols):
            x = c * pitch
            ref = gdstk.Reference(comps[(r * cols + c) % COMPONENT_TYPES], (x, y))
            ref.set_gds_property(0, f"c{r}_{c}")
            refs.append(ref)
            if c + 1 < cols:
                for k in range(CHAIN):
                    for dy in (2, -2):
                        refs.append(gdstk.Reference(straight, (x + W + k * L, y + dy)))
    top.add(*refs)
    lib.add(ctx)
    return lib


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--scale", type=int, default=1)
    ap.add_argument("--rows", type=int, default=1300)
    ap.add_argument("--cols", type=int, default=100)
    args = ap.parse_args()
    build(args.rows * args.scale, args.cols).write_gds(args.out)


if __name__ == "__main__":
    main()
