#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test: the core
# under AddressSanitizer and UndefinedBehaviorSanitizer first, then the whole
# suite with warnings as errors. The last lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/ensure_packages.sh "${KVO_BUILD_PACKAGES[@]}" "${KVO_TEST_PACKAGES[@]}" "${KVO_GUI_PACKAGES[@]}"

jobs=$(nproc)

cmake --preset sanitize-core >/dev/null
cmake --build --preset sanitize-core -j "$jobs"
ctest --preset sanitize-core -j "$jobs"

cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"
