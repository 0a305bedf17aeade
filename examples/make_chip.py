"""Writes examples/chip.gds: a Mach-Zehnder interferometer between two grating couplers.

Components are placed port to port; the layout library's port metadata (name, placement,
port type, cross-section) goes into the context cell, as real layouts carry it.
Run: python3 examples/make_chip.py
"""

import math
from pathlib import Path

import gdstk

HERE = Path(__file__).resolve().parent
NM = 1e-3  # micrometres per database unit

# Component cells: name -> (ports [(name, x_um, y_um, angle_deg)], outline polygons).
COMPONENTS = {
    "grating_coupler_te_plarix_5f3c": (
        [("o1", 0.0, 0.0, 180)],
        [[(0, -0.25), (0, 0.25), (20, 6), (20, -6)]],
    ),
    "mmi1x2_plarix_1a2b": (
        [("o1", 0.0, 0.0, 180), ("o2", 15.5, 0.625, 0), ("o3", 15.5, -0.625, 0)],
        [[(0, -0.25), (0, 0.25), (2, 1.5), (13.5, 1.5), (15.5, 0.875), (15.5, -0.875),
          (13.5, -1.5), (2, -1.5)]],
    ),
    "bend_euler_R10": (
        [("o1", 0.0, 0.0, 180), ("o2", 10.0, 10.0, 90)],
        [[(0, -0.25), (0, 0.25), (9.75, 10), (10.25, 10)]],
    ),
}
for length in (10, 30, 50):
    COMPONENTS[f"straight_L{length}_N2_CSxs_sc"] = (
        [("o1", 0.0, 0.0, 180), ("o2", float(length), 0.0, 0)],
        [[(0, -0.25), (length, -0.25), (length, 0.25), (0, 0.25)]],
    )


def metadata_values(ports):
    values = ["zindel:cross_section:xs_sc')={'width'=>#l500,'layer'=>[layer:1/0]}"]
    for i, (name, x, y, angle) in enumerate(ports):
        values.append(
            f"zindel:ports:{i}')={{'name'=>'{name}','port_type'=>'optical',"
            f"'trans'=>[trans:r{angle} {round(x / NM)},{round(y / NM)}],"
            f"'cross_section'=>'xs_sc'}}")
    return values


class Chip:
    def __init__(self):
        self.lib = gdstk.Library(unit=1e-6, precision=1e-9)
        self.cells = {}
        ctx = gdstk.Cell("$$$CONTEXT_INFO$$$")
        for name, (ports, polygons) in COMPONENTS.items():
            cell = self.lib.new_cell(name)
            for points in polygons:
                cell.add(gdstk.Polygon(points, layer=1, datatype=0))
            self.cells[name] = cell
            ref = gdstk.Reference(cell)
            for attr, value in reversed(list(enumerate(metadata_values(ports)))):
                ref.set_gds_property(attr, value)
            ctx.add(ref)
        self.top = self.lib.new_cell("mzi_chip")
        self.lib.add(ctx)

    def place(self, component, port, at, facing, name=None, mirror=False):
        """Places `component` so that its `port` sits at `at`, pointing against `facing`.

        Returns the placed ports: name -> ((x, y), angle).
        """
        ports = {p[0]: (p[1], p[2], p[3]) for p in COMPONENTS[component][0]}
        px, py, pa = ports[port]
        if mirror:
            py, pa = -py, -pa
        rotation = (facing + 180 - pa) % 360
        c, s = round(math.cos(math.radians(rotation))), round(math.sin(math.radians(rotation)))
        origin = (at[0] - (c * px - s * py), at[1] - (s * px + c * py))
        ref = gdstk.Reference(self.cells[component], origin, rotation=math.radians(rotation),
                              x_reflection=mirror)
        if name:
            ref.set_gds_property(0, name)
        self.top.add(ref)
        placed = {}
        for pname, (x, y, a) in ports.items():
            if mirror:
                y, a = -y, -a
            placed[pname] = ((origin[0] + c * x - s * y, origin[1] + s * x + c * y),
                             (a + rotation) % 360)
        return placed

    def chain(self, start, pieces):
        """Routes from `start` ((x, y), angle) through (component, mirror) pieces."""
        end = start
        for component, mirror in pieces:
            end = self.place(component, "o1", end[0], end[1], mirror=mirror)["o2"]
        return end


def build():
    chip = Chip()
    gc_in = chip.place("grating_coupler_te_plarix_5f3c", "o1", (0.0, 0.0), 180, name="gc_in")
    feed = chip.chain(gc_in["o1"], [("straight_L10_N2_CSxs_sc", False)])
    split = chip.place("mmi1x2_plarix_1a2b", "o1", feed[0], feed[1], name="splitter")
    left, right = ("bend_euler_R10", False), ("bend_euler_R10", True)
    up_end = chip.chain(split["o2"], [
        left, ("straight_L10_N2_CSxs_sc", False), right, ("straight_L10_N2_CSxs_sc", False),
        right, ("straight_L10_N2_CSxs_sc", False), left])
    down_end = chip.chain(split["o3"], [("straight_L50_N2_CSxs_sc", False)])
    combine = chip.place("mmi1x2_plarix_1a2b", "o3", up_end[0], up_end[1], name="combiner")
    assert combine["o2"][0] == down_end[0], "the arms must meet the combiner"
    out = chip.chain(combine["o1"], [("straight_L30_N2_CSxs_sc", False)])
    chip.place("grating_coupler_te_plarix_5f3c", "o1", out[0], out[1], name="gc_out")
    return chip.lib


if __name__ == "__main__":
    build().write_gds(str(HERE / "chip.gds"))
    print(f"wrote {HERE / 'chip.gds'}")
