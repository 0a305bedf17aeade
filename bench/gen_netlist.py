"""Generates a large flat schematic for the netlist benchmarks.

200,000 instances (most with settings, some arrayed), a placement for every instance and
300,000 nets: about 30 MB of YAML, written with its JSON twin (same netlist, JSON text).

With --routed, every connection runs through a chain of 2 to 6 straights and bends instead:
--instances counts the components (default 40,000: splitters, 2x2 couplers, grating couplers,
some arrayed) and --nets the connections between their ports (default 50,000, each port used
once), which gives about 240,000 instances and 250,000 nets.

Run: python3 bench/gen_netlist.py OUT.pic.yml OUT.json [--instances N] [--nets M] [--routed]
"""

import argparse
import json
import random

COMPONENTS = [
    ("straight", lambda r: {"length": round(r.uniform(1, 100), 3)}),
    ("bend_euler", lambda r: {"radius": r.choice([5, 10, 20])}),
    ("mmi1x2", lambda r: {"length_mmi": 5.5, "gap_mmi": 0.25}),
    ("grating_coupler", lambda r: {}),
]


def build(n_instances, n_nets, seed=1):
    r = random.Random(seed)
    instances, placements = {}, {}
    for i in range(n_instances):
        name = f"i{i}"
        component, settings = COMPONENTS[i % len(COMPONENTS)]
        inst = {"component": component, "settings": settings(r)}
        if i % 50 == 0:
            inst["array"] = {"columns": 2, "rows": 1, "column_pitch": 127.0, "row_pitch": 0.0}
        instances[name] = inst
        placements[name] = {"x": round(r.uniform(-5000, 5000), 2),
                            "y": round(r.uniform(-5000, 5000), 2)}
        if i % 4 == 1:
            placements[name]["rotation"] = 90
    nets = []
    for k in range(n_nets):
        a, b = r.randrange(n_instances), r.randrange(n_instances)
        nets.append({"p1": f"i{a},o{1 + k % 2}", "p2": f"i{b},o{2 - k % 2}"})
    ports = {f"p{k}": f"i{k},o1" for k in range(100)}
    return {"instances": instances, "nets": nets, "ports": ports, "placements": placements}


ROUTED_COMPONENTS = [
    ("mmi1x2", 3, lambda r: {"length_mmi": 5.5, "gap_mmi": 0.25}),
    ("mmi2x2", 4, lambda r: {"length_mmi": round(r.uniform(10, 40), 2)}),
    ("grating_coupler", 1, lambda r: {}),
]
ROUTING = [
    ("straight", lambda r: {"length": round(r.uniform(1, 100), 3)}),
    ("bend_euler", lambda r: {"radius": r.choice([5, 10, 20])}),
]


def build_routed(n_components, n_connections, seed=1):
    """Components joined port to port, each connection through 2 to 6 routing instances."""
    r = random.Random(seed)
    instances, placements, free = {}, {}, []

    def place(name):
        placements[name] = {"x": round(r.uniform(-5000, 5000), 2),
                            "y": round(r.uniform(-5000, 5000), 2)}

    for i in range(n_components):
        name = f"c{i}"
        component, n_ports, settings = ROUTED_COMPONENTS[i % len(ROUTED_COMPONENTS)]
        inst = {"component": component, "settings": settings(r)}
        elements = [name]
        if component == "grating_coupler" and i % 50 == 2:
            inst["array"] = {"columns": 2, "rows": 1, "column_pitch": 127.0, "row_pitch": 0.0}
            elements = [f"{name}<0.0>", f"{name}<1.0>"]
        instances[name] = inst
        place(name)
        free += [f"{e},o{p}" for e in elements for p in range(1, n_ports + 1)]
    r.shuffle(free)
    ports = {f"p{k}": free.pop() for k in range(100)}
    if 2 * n_connections > len(free):
        raise SystemExit(f"{n_components} components have ports for at most "
                         f"{len(free) // 2} connections")
    nets, k = [], 0
    for c in range(n_connections):
        ends = [free[2 * c]]
        for _ in range(r.randint(2, 6)):
            name = f"r{k}"
            k += 1
            component, settings = r.choice(ROUTING)
            instances[name] = {"component": component, "settings": settings(r)}
            place(name)
            ends += [f"{name},o1", f"{name},o2"]
        ends.append(free[2 * c + 1])
        for a, b in zip(ends[::2], ends[1::2]):
            nets.append({"p1": a, "p2": b} if r.random() < 0.5 else {"p1": b, "p2": a})
    return {"instances": instances, "nets": nets, "ports": ports, "placements": placements}


def write_yaml(doc, out):
    w = out.write
    w("instances:\n")
    for name, inst in doc["instances"].items():
        w(f"  {name}:\n    component: {inst['component']}\n")
        if inst["settings"]:
            w("    settings:\n")
            for k, v in inst["settings"].items():
                w(f"      {k}: {v}\n")
        if "array" in inst:
            a = inst["array"]
            w(f"    array: {{columns: {a['columns']}, rows: {a['rows']}, "
              f"column_pitch: {a['column_pitch']}, row_pitch: {a['row_pitch']}}}\n")
    w("nets:\n")
    for net in doc["nets"]:
        w(f"- p1: {net['p1']}\n  p2: {net['p2']}\n")
    w("ports:\n")
    for name, port in doc["ports"].items():
        w(f"  {name}: {port}\n")
    w("placements:\n")
    for name, p in doc["placements"].items():
        w(f"  {name}:\n")
        for k, v in p.items():
            w(f"    {k}: {v}\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("yaml_out")
    ap.add_argument("json_out")
    ap.add_argument("--instances", type=int)
    ap.add_argument("--nets", type=int)
    ap.add_argument("--routed", action="store_true",
                    help="route every connection through 2 to 6 straights and bends")
    args = ap.parse_args()
    if args.routed:
        doc = build_routed(args.instances or 40_000, args.nets or 50_000)
    else:
        doc = build(args.instances or 200_000, args.nets or 300_000)
    with open(args.yaml_out, "w") as f:
        write_yaml(doc, f)
    with open(args.json_out, "w") as f:
        json.dump(doc, f)


if __name__ == "__main__":
    main()
