#!/usr/bin/env bash
# Runs a run list as a Slurm job array on a throw-away single-node cluster
# and checks that it gives the same result files, byte for byte, as the same
# list computed in one sequential run.
#
# It installs slurm-wlm and munge when missing, starts munged, slurmctld and
# slurmd as root with every file (key, sockets, configuration, state, logs,
# pid files) in a private temporary folder and on free ports, writes a 3 x 3
# model grid twice (tests/cluster/make_grid.py), computes one copy with
# `kvo-compute run-list` and the other through the batch script that
# `kvo-compute run-list --sbatch --shards 3` writes, compares, and stops the
# daemons it started and removes the folder on every exit.
#
# Usage: scripts/slurm_check.sh [KVO_COMPUTE]
#   (default build/ci/apps/kvo-compute/kvo-compute). Needs root.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
kvo=$(realpath -- "${1:-$root/build/ci/apps/kvo-compute/kvo-compute}")
shards=3
job_timeout=120 # seconds for the whole job array
t0=${EPOCHREALTIME/./}
shopt -s nullglob

log() {
  local us=$((${EPOCHREALTIME/./} - t0))
  printf '[%3d.%01ds] %s\n' $((us / 1000000)) $((us / 100000 % 10)) "$*"
}
die() { log "FAIL: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root (the daemons run as root)"
[ -x "$kvo" ] || die "no kvo-compute at $kvo"
"$kvo" run-list --help | grep -q -- --sbatch || die "$kvo has no run-list --sbatch"

log "packages"
"$root/scripts/ensure_packages.sh" slurm-wlm munge
log "$(munged --version)"
log "$(slurmctld -V) (slurmctld), $(slurmd -V) (slurmd)"

tmp=$(mktemp -d /tmp/kvo-slurm.XXXXXX)
chmod 700 "$tmp"
conf=$tmp/slurm.conf
daemons=(slurmd slurmctld munged) # stopped in this order

show_logs() {
  for f in "$tmp"/log/*.log; do
    [ -s "$f" ] || continue
    echo "---- $(basename "$f") (last 40 lines)"
    tail -n 40 "$f"
  done
}

# Stops the daemon NAME by its pid file (SIGTERM, then SIGKILL after 10 s).
stop_daemon() {
  local name=$1 file=$tmp/run/$1.pid pid
  [ -s "$file" ] || return 0
  pid=$(cat "$file")
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { log "$name (pid $pid) stopped"; return 0; }
    sleep 0.1
  done
  log "$name (pid $pid) still runs after 10 s: SIGKILL"
  kill -9 "$pid" 2>/dev/null || true
}

# Processes of this cluster: those whose environment names its configuration
# (slurmd and slurmctld, the slurmstepd that slurmd starts, the jobs).
cluster_pids() {
  grep -lzsx "SLURM_CONF=$conf" /proc/[0-9]*/environ 2>/dev/null |
    cut -d/ -f3 | grep -vx "$$" || true
}

teardown() {
  local rc=$?
  trap - EXIT
  set +e
  if [ "$rc" -ne 0 ] && [ -d "$tmp/log" ]; then show_logs; fi
  if [ -s "$tmp/run/slurmctld.pid" ]; then
    scancel --quiet --full --user=root >/dev/null 2>&1
  fi
  export -n SLURM_CONF # so that the search below does not find its own commands
  for d in "${daemons[@]}"; do stop_daemon "$d"; done
  local left
  mapfile -t left < <(cluster_pids)
  if [ ${#left[@]} -gt 0 ]; then
    log "ending leftover processes of this cluster: ${left[*]}"
    kill -9 "${left[@]}" 2>/dev/null
  fi
  rm -rf "$tmp"
  log "torn down; exit $rc"
  exit "$rc"
}
trap teardown EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])'
}

log "cluster folder $tmp"
mkdir -p "$tmp"/{munge,state,spool,log,run}
chmod 700 "$tmp/munge"

# munged as root (--force) with a key, socket and files of its own.
dd if=/dev/urandom of="$tmp/munge/munge.key" bs=1 count=1024 status=none
chmod 400 "$tmp/munge/munge.key"
socket=$tmp/munge/munge.socket
munged --force --socket="$socket" --key-file="$tmp/munge/munge.key" \
  --pid-file="$tmp/run/munged.pid" --log-file="$tmp/log/munged.log" \
  --seed-file="$tmp/munge/munged.seed"
munge --socket="$socket" -n | unmunge --socket="$socket" >/dev/null || die "munge credential round trip"
log "munged up (pid $(cat "$tmp/run/munged.pid"))"

node=$(hostname -s)
ctld_port=$(free_port)
slurmd_port=$(free_port)
while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done
cat > "$conf" <<EOF
ClusterName=kvocheck
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/run/slurmctld.pid
SlurmdPidFile=$tmp/run/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
MinJobAge=600
MailProg=/bin/true
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=1000 State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$conf
echo "---- slurm.conf"
cat "$conf"

slurmctld -f "$conf"
slurmd -f "$conf" -N "$node"
log "slurmctld and slurmd started; waiting for the node"
state=
for _ in $(seq 60); do
  state=$(sinfo -h -N -o '%T' 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.5
done
[ "$state" = idle ] || die "node not idle after 30 s (state '${state}')"
sinfo
log "node $node idle"

# The same grid twice: A computed in one sequential run, B by the job array.
a=$tmp/sequential
b=$tmp/slurm
"$root/tests/cluster/make_grid.py" "$root/examples/target_3d.nmc" "$a"
"$root/tests/cluster/make_grid.py" "$root/examples/target_3d.nmc" "$b"
entries=$(($(wc -l < "$a/grid.mrl") - 1))

log "sequential run of $entries entries"
(cd "$a" && "$kvo" run-list grid.mrl --threads 1 --quiet)
log "sequential run done"

(cd "$b" && "$kvo" run-list grid.mrl --sbatch --shards "$shards" --threads 1 > job.sh)
echo "---- job.sh"
cat "$b/job.sh"
job=$(cd "$b" && sbatch --parsable job.sh)
job=${job%%;*}
log "submitted job array $job"
squeue -j "$job" -r || true

deadline=$((SECONDS + job_timeout))
last=
while :; do
  now=$(squeue -h -j "$job" -r -o '%i %T' 2>/dev/null | sort | tr '\n' ' ')
  [ -z "$now" ] && break
  if [ "$now" != "$last" ]; then log "queue: $now"; last=$now; fi
  [ "$SECONDS" -lt "$deadline" ] || die "job array $job still queued or running after ${job_timeout} s"
  sleep 0.5
done
log "job array $job left the queue"

echo "---- job array tasks"
tasks=$(scontrol -o show job "$job" |
  sed -E 's/.* ArrayJobId=([0-9]+) ArrayTaskId=([0-9]+) .* JobState=([A-Z_]+) .* ExitCode=([0-9:]+) .*/task \2 of array \1: \3, exit code \4/' |
  sort -k2,2n)
echo "$tasks"
[ "$(grep -c 'COMPLETED, exit code 0:0$' <<< "$tasks")" -eq "$shards" ] ||
  die "not every one of the $shards array tasks completed with exit code 0"
for f in "$b"/*.out; do
  echo "---- $(basename "$f")"
  cat "$f"
done
if [ -e "$b/grid.mrl.journal" ]; then
  echo "---- grid.mrl.journal"
  cat "$b/grid.mrl.journal"
fi

log "comparing results"
status=0
results() { find "$1" -maxdepth 1 \( -name '*.mrm' -o -name '*.npz' \) -printf '%f\n' | sort; }
ref=$(results "$a")
got=$(results "$b")
[ "$(echo "$ref" | grep -c .)" -eq $((2 * entries)) ] ||
  die "the sequential run wrote $(echo "$ref" | grep -c .) result files, not $((2 * entries))"
for f in $ref; do
  if [ ! -e "$b/$f" ]; then
    echo "missing in the Slurm run: $f"; status=1
  elif ! cmp -- "$a/$f" "$b/$f"; then
    status=1
  fi
done
extra=$(comm -13 <(echo "$ref") <(echo "$got"))
if [ -n "$extra" ]; then
  echo "extra result files in the Slurm run: $extra"; status=1
fi
[ "$status" -eq 0 ] || die "the Slurm run's results differ from the sequential run's"
log "PASS: $(echo "$ref" | grep -c .) result files of $entries entries identical from $shards Slurm array tasks and from one sequential run"
