#!/usr/bin/env bash
# Installs what is missing, builds a Release and runs the program on the bundled example.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/ensure_packages.sh "${KVO_BUILD_PACKAGES[@]}"

cmake --preset release >/dev/null
cmake --build --preset release

example=examples/coincident_circle_100m_three_layers.nmc
echo "kvo-compute validate $example"
./build/release/apps/kvo-compute/kvo-compute validate "$example"
