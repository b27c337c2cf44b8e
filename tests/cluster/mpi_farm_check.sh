#!/bin/bash
# The MPI farm against the sequential walk, on a 3 x 3 grid of the bundled
# 3D-target model with one broken entry:
#  1. a whole run of 3 processes writes every result file byte for byte as
#     the sequential run does, and reports the broken entry and goes on;
#  2. a run stopped half way (SIGTERM to mpirun) leaves no half-written file
#     and keeps what it completed; the next run computes only the entries
#     missing and ends with the same files.
#   mpi_farm_check.sh KVO_COMPUTE KVO_COMPUTE_MPI
set -euo pipefail
kvo=$(realpath "$1")
farm=$(realpath "$2")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvo-farm.XXXXXX")
trap 'rm -rf "$work"' EXIT
mpirun_=(mpirun --oversubscribe -n 3)
if [ "$(id -u)" = 0 ]; then
  export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
fi
export OMPI_MCA_rmaps_base_oversubscribe=1
# Every run at a tolerance ten times tighter than the default: the entries
# take about twice as long (0.9 s each here), so that the run stopped after
# its first entry is stopped long before its last ones could finish (with
# the faster kernels of the default they had often all finished).
tolerance=(--tolerance 1e-4)

fail() { echo "FAIL: $*"; exit 1; }
grid() { /usr/bin/python3 "$source_dir/tests/cluster/make_grid.py" "$source_dir/examples/target_3d.nmc" "$work/$1" --broken; }
same_results() {  # every result file of the reference has a twin in $1, and no more
  local n=0
  for f in "$work"/seq/*.mrm "$work"/seq/*.npz; do
    cmp "$f" "$work/$1/$(basename "$f")" || fail "$1/$(basename "$f") differs from the sequential run's"
    n=$((n + 1))
  done
  [ "$(ls "$work/$1" | grep -c -E '\.(mrm|npz)$')" = "$n" ] || fail "$1 holds other result files"
  [ -z "$(ls "$work/$1" | grep -E '\.tmp')" ] || fail "$1 holds temporary files"
  echo "$1: $n result files identical to the sequential run's"
}

grid seq
(cd "$work/seq" && "$kvo" run-list grid.mrl "${tolerance[@]}" --threads 1 --quiet) > "$work/seq.out" 2>&1 || true
[ "$(ls "$work"/seq/*.mrm | wc -l)" = 9 ] || fail "the sequential run wrote $(ls "$work"/seq/*.mrm | wc -l) of 9 kernels"

echo "== a whole run"
grid whole
set +e
(cd "$work/whole" && "${mpirun_[@]}" "$farm" run-list grid.mrl "${tolerance[@]}" --threads 1) > "$work/whole.out" 2> "$work/whole.err"
code=$?
set -e
cat "$work/whole.out"
[ "$code" != 0 ] || fail "a run with a broken entry exited 0"
grep -q "entry 5 skipped: File \"broken.nmc\" is damaged" "$work/whole.err" || { cat "$work/whole.err"; fail "the broken entry was not reported"; }
grep -q ": 9 completed, 0 skipped (completed before), 1 failed;" "$work/whole.out" || fail "wrong summary"
same_results whole

echo "== a run stopped half way, and the run after it"
grid stopped
(cd "$work/stopped" && exec "${mpirun_[@]}" "$farm" run-list grid.mrl "${tolerance[@]}" --threads 1) > "$work/stop1.out" 2> "$work/stop1.err" &
mpirun_pid=$!
for _ in $(seq 1 600); do  # until the first entry is recorded
  [ "$(cat "$work/stopped/grid.mrl.journal" 2>/dev/null | wc -l)" -ge 1 ] && break
  sleep 0.05
done
kill -TERM "$mpirun_pid"
set +e
wait "$mpirun_pid"
code=$?
set -e
cat "$work/stop1.out"
[ "$code" != 0 ] || fail "a stopped run exited 0"
done_first=$(wc -l < "$work/stopped/grid.mrl.journal")
written=$(ls "$work"/stopped/*.mrm | wc -l)
[ -z "$(ls "$work/stopped" | grep -E '\.tmp')" ] || fail "the stopped run left temporary files"
[ "$written" = "$done_first" ] || fail "the stopped run wrote $written kernels but recorded $done_first"
[ "$done_first" -lt 9 ] || fail "the run was not stopped half way (all 9 entries done)"
echo "stopped with $done_first of 9 entries completed"
stamp() { for f in "$work"/stopped/*.mrm; do stat -c '%n %i %Y.%y' "$f"; done; }
before=$(stamp)
set +e
(cd "$work/stopped" && "${mpirun_[@]}" "$farm" run-list grid.mrl "${tolerance[@]}" --threads 1) > "$work/stop2.out" 2> "$work/stop2.err"
set -e
cat "$work/stop2.out"
# The start entry moved past the entries tried first (the broken one too,
# when it came before the stop); any completed beyond it are skipped
# through the journal.
grep -q -E ": $((9 - done_first)) completed, [0-9]+ skipped \(completed before\), [01] failed;" "$work/stop2.out" ||
  fail "the second run did not compute exactly the $((9 - done_first)) missing entries"
after=$(stamp)
while read -r line; do
  grep -qxF "$line" <<< "$after" || fail "a kernel completed before was written again: ${line%% *}"
done <<< "$before"
same_results stopped
echo "PASS"
