#!/usr/bin/env bash
# Runs orlim on the bundled example chip.
set -euo pipefail
cd "$(dirname "$0")"
echo "$ orlim extract-ports chip.gds"
orlim extract-ports chip.gds
echo
echo "$ orlim extract chip.gds"
orlim extract chip.gds
