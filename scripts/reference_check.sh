#!/usr/bin/env bash
# The converged sampling against the brute-force reference
# (tests/reference/kernel_reference.cpp) on every bundled example that it
# handles, at depths from 0.05 m to 100 m and pulse moments up to the
# largest, printing for each case the worst difference relative to each
# depth's largest |K|. Slow (tens of minutes); the results go in
# docs/accuracy.md. Usage: scripts/reference_check.sh [BUILD_DIR] [REFINE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
refine=${2:-1}
cmake --build "$build" --target kvo_kernel_reference >/dev/null
ref=${KVO_REFERENCE_BIN:-"$build/tests/reference/kvo_kernel_reference"}
pulses=${KVO_REFERENCE_PULSES:-0,20,40,60,80,90,99}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# name | parameter file | line-5 edits (sed) | depths
# (an optional fifth argument: the largest flip next to the wire the
# reference resolves, rad; the loops without rotational symmetry compute
# every wedge and take 200)
run_case() {
  local name=$1 file=$2 edit=$3 depths=$4 flip=${5:-1000}
  local f="$tmp/$name.nmc"
  sed "$edit" "$file" > "$f"
  echo "== $name"
  "$ref" "$f" --depths "$depths" --pulses "$pulses" --refine "$refine" --max-flip "$flip" --compare |
    grep '^#.*\(worst\|left out\)' || true
}

ex=examples
run_case circle-three-layers "$ex/coincident_circle_100m_three_layers.nmc" "" 0.05,0.5,3.8,30,100
# The same circle over a resistive half-space (10 000 ohm-m).
run_case circle-resistive "$ex/coincident_circle_100m_three_layers.nmc" \
  "4s/.*/    1.00   100.00 10000.00     0.00     0.00     0.00     0.00     0.00     0.00     0.00     0.00     0.00     0.00 /" \
  0.05,3.8
# Elliptical polarisation on.
run_case circle-elliptical "$ex/coincident_circle_100m_three_layers.nmc" "3s/ 0.00 *$/ 1.00 /" 0.5,10
run_case figure-eight "$ex/figure_eight.nmc" "" 0.5,3.8,30 200
run_case shifted-squares "$ex/square_tx_shifted_square_rx.nmc" "" 0.5,3.8,30 200
# An identical separate receiver.
run_case identical-receiver "$ex/coincident_circle_100m_three_layers.nmc" "2s/.*/    1.00   100.00     0.00     1.00     0.00     0.00     0.00 /" 0.5,3.8 200
run_case target "$ex/target_3d.nmc" "" 10,15,20
# Sloping ground (10 degrees; the planes from 17.4 m down pass below the whole loop).
run_case sloping-ground "$ex/topography_slope.nmc" "" 20,30,60
