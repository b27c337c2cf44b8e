#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 600) on a seed corpus made from the bundled examples; TARGET... (after
# SECONDS) runs only those of parameter_file, run_list, cli_arguments,
# field_points, kernel_file, kernel_archive and run_journal. Not part of ./test.sh.
# Crashes, hangs and sanitizer reports are left in fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
source scripts/packages.sh
scripts/ensure_packages.sh "${KVO_BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DKVO_BUILD_GUI=OFF -DKVO_BUILD_TESTS=OFF -DKVO_BUILD_BENCH=OFF -DKVO_BUILD_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_parameter_file fuzz_run_list fuzz_cli_arguments fuzz_field_points fuzz_kernel_file fuzz_kernel_archive fuzz_run_journal

corpus="$PWD/build/fuzz/corpus"
mkdir -p "$corpus"/{parameter_file,run_list,cli_arguments,field_points,kernel_file,kernel_archive,run_journal} fuzz/findings
cp examples/*.nmc "$corpus/parameter_file/"
{ echo "   2    1 c: "; ls "$PWD"/examples/*.nmc | head -2; } > "$corpus/run_list/working"
{ echo "   2    1 "; ls "$PWD"/examples/*.nmc | head -2; } > "$corpus/run_list/user.mrl"
printf 'validate\nx.nmc' > "$corpus/cli_arguments/validate"
printf 'x.nmc\n--sampling\nconverged\n--tolerance\n1e-3\n--threads\n2' > "$corpus/cli_arguments/compute"
printf 'run-list\nlist.mrl\n--sampling\nclassic' > "$corpus/cli_arguments/runlist"
printf 'field\n--frequency\n2000\n--layers\n0.02:1e8,0:30\n--loop\n1:100' > "$corpus/cli_arguments/field"
printf '0 0 1\n10 5 20\n' > "$corpus/field_points/points"
printf 'forward\nx.mrm\n--water\n1:5:0.2,10:20:0.1\n--t2\n0.1,0.2\n--times\n0:0.2:5\n--noise\n3\n--seed\n7\n--format\ncsv' \
  > "$corpus/cli_arguments/forward"
printf 'export\nx.npz\n--format\nmrsk\n-o\ny.mat' > "$corpus/cli_arguments/export"
printf 'run-list\n--threads\n2\n--help' > "$corpus/cli_arguments/help"
printf 'run-list\nlist.mrl\n--shard\n2/3\n--threads\n1' > "$corpus/cli_arguments/shard"
printf 'run-list\nlist.mrl\n--sbatch\n--shards\n4\n--threads\n2' > "$corpus/cli_arguments/sbatch"
printf 'done 0123456789abcdef converged/0.001 x.nmc\ndone fedcba9876543210 classic "a b.nmc"\ndone 01' \
  > "$corpus/run_journal/journal"
# A matrix file and a signal file in the layouts the program writes.
awk 'BEGIN { print " -60    1   100.00  2000.00 "; print "  0.0200  100000000.00 ";
  for (i = 0; i < 6; i++) print "  0.0000          0.00 ";
  for (i = 0; i < 100; i++) printf "%14.4f %12.4f \n", 1 + 100 * i, 0.05 + i;
  for (i = 0; i < 10000; i++) printf "%6i %6i \n", (i * 37) % 500 - 100, -(i % 13) }' > "$corpus/kernel_file/matrix"
awk 'BEGIN { print "N Q Re(nV) Im(nV) Amplitude(nV) Phase(degr) ";
  for (i = 0; i < 100; i++) printf "%5i %14.4f %8i %8i %8.2f %6.2f \n", i, 1 + 100 * i, 3 * i, -i, 3.16 * i, -18.43 }' \
  > "$corpus/kernel_file/signal"
# A kernel archive as a computation writes it, and one of its arrays.
python3 - "$corpus/kernel_archive" <<'PY'
import sys, zipfile, io, struct
def npy(descr, shape, data):
    header = "{'descr': '%s', 'fortran_order': False, 'shape': %s, }" % (descr, shape)
    header += " " * ((64 - (10 + len(header) + 1) % 64) % 64) + "\n"
    return b"\x93NUMPY\x01\x00" + struct.pack("<H", len(header)) + header.encode() + data
arrays = {
    "pulseMoments": npy("<f8", "(3,)", struct.pack("<3d", 0.001, 0.01, 0.1)),
    "depths": npy("<f8", "(2,)", struct.pack("<2d", 0.5, 1.5)),
    "kernelNodes": npy("<c16", "(3, 2)", struct.pack("<12d", *range(12))),
    "frequency": npy("<f8", "()", struct.pack("<d", 2000.0)),
    "version": npy("<U5", "()", "0.1.0".encode("utf-32-le")),
}
with zipfile.ZipFile(sys.argv[1] + "/archive", "w", zipfile.ZIP_DEFLATED) as z:
    for name, data in arrays.items():
        z.writestr(name + ".npy", data)
open(sys.argv[1] + "/array", "wb").write(arrays["kernelNodes"])
PY

# Every target runs, whatever an earlier one found; the summary says which
# found something (their inputs are in fuzz/findings/).
targets=("${@:2}")
[ ${#targets[@]} -gt 0 ] || targets=(parameter_file run_list cli_arguments field_points kernel_file kernel_archive run_journal)
found=()
for target in "${targets[@]}"; do
  echo "== fuzz_$target for ${seconds} s"
  status=0
  "$build/fuzz/fuzz_$target" "$corpus/$target" -max_total_time="$seconds" -timeout=30 \
    -artifact_prefix="$PWD/fuzz/findings/${target}-" -print_final_stats=1 > "build/fuzz/$target.log" 2>&1 || status=$?
  grep -E "^stat::number_of_executed_units|^SUMMARY|Test unit written" "build/fuzz/$target.log" || true
  [ "$status" -eq 0 ] || found+=("$target")
done
if [ ${#found[@]} -gt 0 ]; then
  echo "Findings in: ${found[*]} (inputs in fuzz/findings/, logs in build/fuzz/*.log)"
  exit 1
fi
echo "No findings."
