"""Benchmarks orlim side by side with its peers on generated large inputs.

Each case prints one line `CASE: ours=..s peer=..s ...`. Every timing runs in a fresh
interpreter and measures the call alone (not interpreter start-up); the peak resident memory
of that process is reported next to the input size.
Run: python3 bench/run.py [CASE ...]   (cases: gds_load, and those other modules register)
"""

import json
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATA = HERE / "data"

# Timed snippets run in a child: `path` is bound, the snippet's last statement is timed.
CHILD = r"""
import json, resource, sys, time
path = sys.argv[1]
setup, timed = sys.argv[2], sys.argv[3]
exec(setup)
t0 = time.perf_counter()
exec(timed)
elapsed = time.perf_counter() - t0
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(json.dumps({"seconds": elapsed, "peak": peak}))
"""


def measure(path, timed, setup="pass", runs=1):
    """Seconds and peak bytes of running `timed` in a fresh interpreter: the fastest of
    `runs` runs, each in its own interpreter."""
    best = None
    for _ in range(runs):
        out = subprocess.run([sys.executable, "-c", CHILD, str(path), setup, timed],
                             check=True, capture_output=True, text=True).stdout
        r = json.loads(out.strip().splitlines()[-1])
        if best is None or r["seconds"] < best["seconds"]:
            best = r
    return best


def baseline(setup):
    """Peak memory of the interpreter after `setup` alone, to subtract from peaks."""
    return measure("/dev/null", "pass", setup)["peak"]


def cat_seconds(path):
    t0 = time.perf_counter()
    subprocess.run(f"cat '{path}' > /dev/null", shell=True, check=True)
    return time.perf_counter() - t0


def ensure_chip(scale=1):
    path = DATA / f"chip_{scale}x.gds"
    if not path.exists():
        DATA.mkdir(exist_ok=True)
        print(f"generating {path.name} ...", file=sys.stderr)
        subprocess.run([sys.executable, str(HERE / "gen_chip.py"), str(path),
                        "--scale", str(scale)], check=True, stderr=subprocess.DEVNULL)
    return path


def mb(n):
    return n / 1e6


def bench_gds_load():
    path = ensure_chip(1)
    size = path.stat().st_size
    cat_seconds(path)  # warm the page cache for everyone
    ours = measure(path, "_orlim.extract_ports(path)", "import _orlim")
    gdstk = measure(path, "gdstk.read_gds(path)", "import gdstk")
    klayout = measure(path, "klayout.db.Layout().read(path)", "import klayout.db")
    cat = cat_seconds(path)
    ours_mem = ours["peak"] - baseline("import _orlim")
    print(f"gds_load: ours={ours['seconds']:.3f}s gdstk={gdstk['seconds']:.3f}s "
          f"klayout={klayout['seconds']:.3f}s cat={cat:.3f}s "
          f"ratio_gdstk={ours['seconds'] / gdstk['seconds']:.2f} "
          f"ratio_klayout={ours['seconds'] / klayout['seconds']:.2f} "
          f"ratio_cat={ours['seconds'] / cat:.2f}")
    print(f"gds_load_memory: ours={mb(ours_mem):.0f}MB file={mb(size):.0f}MB "
          f"ratio={ours_mem / size:.2f}")


CASES = {"gds_load": bench_gds_load}


def main(argv):
    # Cases of other areas register themselves when their module is present.
    for extra in ("netlist", "extract", "simplify"):
        try:
            module = __import__(extra)
        except ImportError:
            continue
        CASES.update(getattr(module, "CASES", {}))
    names = argv or list(CASES)
    for name in names:
        CASES[name]()


if __name__ == "__main__":
    sys.path.insert(0, str(HERE))
    main(sys.argv[1:])
