"""Writes small seed layouts for the GDS fuzz harness into the directory given."""

import sys
from pathlib import Path

import gdstk

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)

lib = gdstk.Library(unit=1e-6, precision=1e-9)
leaf = lib.new_cell("wg_A")
leaf.add(gdstk.rectangle((0, 0), (1, 1)))
top = lib.new_cell("top")
ref = gdstk.Reference(leaf, (1, 2), rotation=1.5707963267948966, x_reflection=True)
ref.set_gds_property(0, "u1")
top.add(ref, gdstk.Reference(leaf, (5, 5), columns=2, rows=3, spacing=(3, 4)))
top.add(gdstk.FlexPath([(0, 0), (5, 0)], 0.5), gdstk.Label("t", (0, 0)))
ctx = lib.new_cell("$$$CONTEXT_INFO$$$")
meta = gdstk.Reference(leaf)
meta.set_gds_property(1, "zindel:ports:0')={'name'=>'o1','trans'=>[trans:r90 -10,20],"
                         "'cross_section'=>'xs'}")
meta.set_gds_property(0, "zindel:cross_section:xs')={'width'=>#l500}")
ctx.add(meta)
lib.write_gds(str(out / "small.gds"))

empty = gdstk.Library()
empty.write_gds(str(out / "empty.gds"))
