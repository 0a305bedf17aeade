"""Simplification benchmark: a large flat schematic whose every connection runs through a chain
of 2 to 6 straights and bends (bench/gen_netlist.py --routed: 40,000 components, 50,000
connections; about 240,000 instances and 250,000 nets, 34 MB of YAML).

- simplify: `orlim simplify FILE --remove-twoports all` (in-process through `_orlim.cli`)
  against `orlim convert FILE` of the same file; both write YAML. Goal: ratio at most 1.3.
- simplify_scaling: the same simplification of twice the components and connections. Goal:
  ratio near 2 (linear growth).

Run alone (python3 bench/simplify.py) or through bench/run.py, which picks up CASES.
"""

import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from run import DATA, cat_seconds, measure  # noqa: E402

COMPONENTS, CONNECTIONS = 40_000, 50_000


def ensure_routed(scale):
    path = DATA / f"netlist_routed_{scale}x.pic.yml"
    if not path.exists():
        DATA.mkdir(exist_ok=True)
        print(f"generating {path.name} ...", file=sys.stderr)
        subprocess.run([sys.executable, str(HERE / "gen_netlist.py"), str(path), "/dev/null",
                        "--routed", "--instances", str(COMPONENTS * scale),
                        "--nets", str(CONNECTIONS * scale)], check=True)
    return path


def run_cli(path, *args):
    """Seconds of one command-line run in a fresh interpreter, output discarded."""
    argv = ["orlim", *args[:1], "PATH", *args[1:], "-o", "/dev/null"]
    timed = f"_orlim.cli([path if a == 'PATH' else a for a in {argv!r}])"
    return measure(path, timed, "import _orlim")["seconds"]


def best_of(n, fn):
    return min(fn() for _ in range(n))


def bench_simplify():
    one, two = ensure_routed(1), ensure_routed(2)
    cat_seconds(one)
    cat_seconds(two)
    simplify_1x = best_of(3, lambda: run_cli(one, "simplify", "--remove-twoports", "all"))
    convert_1x = best_of(3, lambda: run_cli(one, "convert"))
    print(f"simplify: ours={simplify_1x:.3f}s convert={convert_1x:.3f}s "
          f"ratio={simplify_1x / convert_1x:.2f}")
    simplify_2x = best_of(3, lambda: run_cli(two, "simplify", "--remove-twoports", "all"))
    print(f"simplify_scaling: 1x={simplify_1x:.3f}s 2x={simplify_2x:.3f}s "
          f"ratio={simplify_2x / simplify_1x:.2f}")


CASES = {"simplify": bench_simplify}


if __name__ == "__main__":
    for name in sys.argv[1:] or list(CASES):
        CASES[name]()
