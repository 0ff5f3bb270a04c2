#!/usr/bin/env bash
# Runs the fuzz targets of a fuzz build (POROMEKO_FUZZ=ON, clang), each from
# its seed corpus in tests/fuzz/corpus/<target> with its dictionary.
#
#   tests/fuzz/run.sh BUILD SECONDS [TARGET...]   all targets within SECONDS in
#                                                 all, as many at once as there
#                                                 are cores
#   tests/fuzz/run.sh BUILD --runs N [TARGET...]  N executions of each, one
#                                                 target after the other
#
# New inputs go to BUILD/fuzz/<target>/corpus, logs to BUILD/fuzz/<target>.log
# (FUZZ_OUT names another folder). FUZZ_FLAGS adds libFuzzer flags (for
# example -max_len=600 to keep a slow reader's inputs short).
# A crash, a leak, a timeout or memory running out stops that target with its
# input saved as BUILD/fuzz/<target>-crash-... (or -leak-, -timeout-, -oom-),
# and the script fails. Keep such an input in tests/fuzz/corpus/<target> once
# the fault is fixed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: tests/fuzz/run.sh BUILD SECONDS|--runs N [TARGET...]}
shift
mode=time
if [ "${1:-}" = "--runs" ]; then
  mode=runs
  runs=${2:?--runs needs a count}
  shift 2
else
  seconds=${1:?usage: tests/fuzz/run.sh BUILD SECONDS|--runs N [TARGET...]}
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(xfile wave tuning placement ranking journal png)
jobs=$(nproc 2>/dev/null || echo 2)
out=${FUZZ_OUT:-$build/fuzz}
mkdir -p "$out"

run_one() {
  local t=$1 limit=$2
  local bin=$build/tests/fuzz/${t}_fuzz
  [ -x "$bin" ] || { echo "no fuzz target $bin" >&2; return 1; }
  mkdir -p "$out/$t/corpus"
  local dict=()
  [ -f "$here/$t.dict" ] && dict=(-dict="$here/$t.dict")
  # The readers report bad input on standard error; that is closed (the
  # fuzzer's own report still comes through).
  "$bin" "$limit" -rss_limit_mb=2048 -timeout=20 -close_fd_mask=2 -print_final_stats=1 \
    ${FUZZ_FLAGS:-} "${dict[@]}" -artifact_prefix="$out/$t-" "$out/$t/corpus" "$here/corpus/$t" \
    >"$out/$t.log" 2>&1
  local status=$?
  local done_line
  done_line=$(grep -E '^Done [0-9]+ runs' "$out/$t.log" | tail -n 1)
  if [ $status -ne 0 ]; then
    touch "$out/$t.failed"
    echo "fuzz $t: FAILED (exit $status)" >&2
    grep -E 'ERROR|SUMMARY|Test unit written|==[0-9]+==' "$out/$t.log" | head -n 20 >&2
    return 1
  fi
  echo "fuzz $t: ${done_line:-finished} (corpus $(ls "$out/$t/corpus" | wc -l) new)"
}

for t in "${targets[@]}"; do rm -f "$out/$t.failed"; done
if [ $mode = runs ]; then
  for t in "${targets[@]}"; do run_one "$t" -runs="$runs"; done
else
  rounds=$(( (${#targets[@]} + jobs - 1) / jobs ))
  each=$(( seconds / rounds ))
  [ $each -ge 1 ] || each=1
  for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    run_one "$t" -max_total_time=$each &
  done
  wait
fi
for t in "${targets[@]}"; do [ ! -e "$out/$t.failed" ] || exit 1; done
exit 0
