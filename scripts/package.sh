#!/usr/bin/env bash
# Builds the Debian package build/package/kvo_VERSION_amd64.deb: a Release
# build of its own in build/package with Debian's hardening flags
# (dpkg-buildflags), then CPack, then the package's checks
# (packaging/check_package.sh: contents, lintian, and as root an install, a
# run of kvo-compute --version and a purge). Dates in the package are those
# of the last commit, so the same commit gives the same package.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/ensure_packages.sh "${KVO_BUILD_PACKAGES[@]}" "${KVO_GUI_PACKAGES[@]}" "${KVO_PACKAGE_PACKAGES[@]}"

build=build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all  # bindnow as well as relro, fortify, PIE
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKVO_BUILD_TESTS=OFF -DKVO_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build"
rm -f "$build"/kvo_*.deb
(cd "$build" && cpack -G DEB)
version=$(sed -n 's/^project(kvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packaging/check_package.sh "$build/kvo_${version}_amd64.deb" "$version"
