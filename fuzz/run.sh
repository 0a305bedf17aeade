#!/usr/bin/env bash
# Fuzzes every harness with libFuzzer (clang 16, ASan + UBSan) for FUZZ_SECONDS each
# (default 600). The growing corpus lives in build/fuzz/corpus/<harness>/, crashing inputs in
# build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${FUZZ_SECONDS:-600}
if ! command -v clang++-16 >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-16 libclang-rt-16-dev >/dev/null
fi
HARNESSES=${FUZZ_HARNESSES:-fuzz_gds fuzz_netlist}
CXX=clang++-16 cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORLIM_PYTHON=OFF -DORLIM_FUZZ=ON -DORLIM_SANITIZE=ON >/dev/null
cmake --build build/fuzz --target $HARNESSES
mkdir -p build/fuzz/crashes
for harness in $HARNESSES; do
    seeds=build/fuzz/seeds/$harness
    mkdir -p "$seeds"
    case $harness in
        fuzz_gds)
            python3 fuzz/make_seeds.py "$seeds"
            cp examples/*.gds "$seeds"/ ;;
    esac
    if [ -d "fuzz/corpus/${harness#fuzz_}" ]; then
        cp fuzz/corpus/"${harness#fuzz_}"/* "$seeds"/ 2>/dev/null || true
    fi
    corpus=build/fuzz/corpus/$harness
    mkdir -p "$corpus"
    "build/fuzz/fuzz/$harness" -max_total_time="$SECONDS_EACH" -rss_limit_mb=4096 -max_len=65536 \
        -artifact_prefix=build/fuzz/crashes/ "$corpus" "$seeds"
done
