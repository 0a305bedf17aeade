"""Generates a large flat schematic for the netlist benchmarks.

200,000 instances (most with settings, some arrayed), a placement for every instance and
300,000 nets: about 30 MB of YAML, written with its JSON twin (same netlist, JSON text).

Run: python3 bench/gen_netlist.py OUT.pic.yml OUT.json [--instances N] [--nets M]
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
    ap.add_argument("--instances", type=int, default=200_000)
    ap.add_argument("--nets", type=int, default=300_000)
    args = ap.parse_args()
    doc = build(args.instances, args.nets)
    with open(args.yaml_out, "w") as f:
        write_yaml(doc, f)
    with open(args.json_out, "w") as f:
        json.dump(doc, f)


if __name__ == "__main__":
    main()
