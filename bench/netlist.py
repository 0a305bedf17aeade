"""Netlist benchmarks: converting a large flat schematic (200,000 instances with settings and
placements, 300,000 nets; about 30 MB of YAML and its JSON twin).

- netlist_yaml: `orlim convert FILE -f json` (in-process through `_orlim.cli`) against PyYAML's
  C loader followed by `json.dumps`.
- netlist_json: `_orlim.convert(text)` against `json.loads` followed by `json.dumps`.

Run alone (python3 bench/netlist.py [CASE ...]) or through bench/run.py, which picks up CASES.
"""

import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from run import DATA, baseline, cat_seconds, mb, measure  # noqa: E402


def ensure_netlist():
    yml, js = DATA / "netlist.pic.yml", DATA / "netlist.json"
    if not (yml.exists() and js.exists()):
        DATA.mkdir(exist_ok=True)
        print(f"generating {yml.name} and {js.name} ...", file=sys.stderr)
        subprocess.run([sys.executable, str(HERE / "gen_netlist.py"), str(yml), str(js)],
                       check=True)
    return yml, js


def report(case, peer_name, ours, peer, size, setup):
    ours_mem = ours["peak"] - baseline(setup)
    print(f"{case}: ours={ours['seconds']:.3f}s {peer_name}={peer['seconds']:.3f}s "
          f"ratio={peer['seconds'] / ours['seconds']:.1f}x")
    print(f"{case}_memory: ours={mb(ours_mem):.0f}MB file={mb(size):.0f}MB "
          f"ratio={ours_mem / size:.2f}")


def bench_netlist_yaml():
    yml, _ = ensure_netlist()
    cat_seconds(yml)
    setup = "import _orlim"
    ours = measure(yml, "_orlim.cli(['orlim', 'convert', path, '-f', 'json', '-o', '/dev/null'])",
                   setup)
    peer = measure(yml, "json.dumps(yaml.load(open(path), Loader=yaml.CSafeLoader))",
                   "import json, yaml")
    report("netlist_yaml", "pyyaml", ours, peer, yml.stat().st_size, setup)


def bench_netlist_json():
    _, js = ensure_netlist()
    setup = "import _orlim\ntext = open(path).read()"
    ours = measure(js, "_orlim.convert(text)", setup)
    peer = measure(js, "json.dumps(json.loads(text))", "import json\ntext = open(path).read()")
    report("netlist_json", "python", ours, peer, js.stat().st_size, setup)


CASES = {"netlist_yaml": bench_netlist_yaml, "netlist_json": bench_netlist_json}


if __name__ == "__main__":
    for name in sys.argv[1:] or list(CASES):
        CASES[name]()
