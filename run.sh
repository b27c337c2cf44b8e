#!/usr/bin/env bash
# Installs what is missing, builds a Release and runs the program on the
# bundled example: computes its kernel into ./run/, then starts the desktop
# program when a display is present, with the kernel window on the result
# beside it. The desktop program works in ./run/, which starts on the bundled
# example the first time.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/ensure_packages.sh "${KVO_BUILD_PACKAGES[@]}" "${KVO_GUI_PACKAGES[@]}"

cmake --preset release >/dev/null
cmake --build --preset release

example="$PWD/examples/coincident_circle_100m_three_layers.nmc"
mkdir -p run
echo "kvo-compute $example -o run/coincident_circle_100m_three_layers.mrm"
./build/release/apps/kvo-compute/kvo-compute "$example" -o run/coincident_circle_100m_three_layers.mrm

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cp share/KVO_Compute_Help.txt run/
  if [ ! -f run/KVO_comp_param.ncc ]; then
    { printf "\"%s\" c:\n" "$example"; cat "$example"; } > run/KVO_comp_param.ncc
  fi
  cd run
  # The kernel just computed, in its own window beside the main window.
  ../build/release/apps/kvo/kvo --kernel coincident_circle_100m_three_layers.mrm &
  exec ../build/release/apps/kvo/kvo
fi
echo "No display: the desktop program (build/release/apps/kvo/kvo) was not started."
