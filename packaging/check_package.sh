#!/usr/bin/env bash
# Checks the Debian package of the project:
#   check_package.sh PACKAGE.deb VERSION
#   check_package.sh --build BUILD_DIR VERSION   (makes it from that build with CPack first)
# Its contents (both programs, the manual pages, the desktop entry and icon),
# the desktop entry (desktop-file-validate), lintian (no errors), and, as
# root, an install with dpkg -i, "kvo-compute --version" from /usr/bin,
# "import kvo" in Debian's python3 from the installed module, and a
# purge, which leaves the machine as it was. When kvo is installed already
# the install step is left out. Exit code 77: a tool is missing (skipped).
set -euo pipefail

if [ "${1:-}" = "--build" ]; then
  build="$2"
  version="$3"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    exit 1
  }
  deb=$(ls "$work"/kvo_*.deb)
else
  deb="$1"
  version="$2"
fi

for tool in dpkg-deb lintian desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

failed=0
fail() { echo "FAIL: $*"; failed=1; }
# Installed, or half-installed, or removed with its configuration left.
present() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}' kvo 2>/dev/null) && [ -n "$status" ] && [ "$status" != "not-installed" ]
}

echo "== $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
[ "$(basename "$deb")" = "kvo_${version}_amd64.deb" ] || fail "the file is not named kvo_${version}_amd64.deb"
dpkg-deb -f "$deb" Package Version Architecture Depends

contents=$(dpkg-deb -c "$deb")
for path in usr/bin/kvo usr/bin/kvo-compute usr/share/man/man1/kvo-compute.1.gz usr/share/man/man1/kvo.1.gz \
            usr/share/applications/kvo.desktop usr/share/icons/hicolor/scalable/apps/kvo.svg \
            usr/share/doc/kvo/copyright usr/share/doc/kvo/changelog.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is not in the package"
done
# The MPI farm, where the build found MPI.
if grep -q " \./usr/bin/kvo-compute-mpi\$" <<<"$contents"; then
  grep -q " \./usr/share/man/man1/kvo-compute-mpi.1.gz\$" <<<"$contents" || fail "kvo-compute-mpi has no manual page"
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked" ${work:+"$work"}' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/kvo.desktop" || fail "the desktop entry is not valid"
for option in sampling tolerance threads quiet water frequency; do
  zcat "$unpacked/usr/share/man/man1/kvo-compute.1.gz" | grep -qF -- "\-\-$option" ||
    fail "the manual page of kvo-compute does not describe --$option"
done

echo "== lintian"
lintian_ok=1
report=$(lintian --fail-on error "$deb" 2>&1) || lintian_ok=0
grep -v "running with root privileges" <<<"$report" || true
[ "$lintian_ok" = 1 ] || fail "lintian reports errors"

echo "== install, run, remove"
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the package is not installed"
elif present; then
  echo "kvo is installed already: the package is not installed over it"
else
  # Another apt or dpkg may hold the lock for a while.
  installed=0
  for _ in $(seq 60); do
    if out=$(dpkg -i "$deb" 2>&1); then installed=1; break; fi
    grep -q "lock" <<<"$out" || break
    sleep 5
  done
  echo "$out" | grep -v "^(Reading database" || true
  if [ "$installed" = 1 ]; then
    answer=$(/usr/bin/kvo-compute --version) || true
    echo "/usr/bin/kvo-compute --version: $answer"
    [ "$answer" = "kvo-compute $version" ] || fail "/usr/bin/kvo-compute --version said \"$answer\""
    # The module from the package, not from a build tree.
    module=$(cd / && env -u PYTHONPATH /usr/bin/python3 -c "import kvo; print(kvo.__version__, kvo.__file__)" 2>&1) || true
    echo "python3 -c \"import kvo\": $module"
    [[ "$module" == "$version /usr/lib/python3/dist-packages/kvo."* ]] || fail "the installed module kvo: $module"
  else
    fail "dpkg -i failed"
  fi
  for _ in $(seq 60); do
    if out=$(dpkg --purge kvo 2>&1); then break; fi
    grep -q "lock" <<<"$out" || break
    sleep 5
  done
  echo "$out" | grep -v "^(Reading database" || true
  ! present || fail "kvo is still installed"
  [ ! -e /usr/bin/kvo-compute ] || fail "/usr/bin/kvo-compute is still there"
fi

[ "$failed" = 0 ] && echo "package OK"
exit "$failed"
