#!/usr/bin/env bash
# Builds the benchmarks (the `bench` preset: Release, TARVEX_BUILD_BENCHMARKS),
# runs every benchmark program with our code beside its peers, counts the
# instructions per same-thread emit under callgrind, and writes the results
# to docs/benchmarks.md with a plot of case b (docs/benchmarks-queued.svg).
#   scripts/bench.sh                 the full run (takes several minutes)
#   scripts/bench.sh --quick         a smoke run with a tenth of the work per
#                                    round, reported under build/bench/ only
#   scripts/bench.sh -- <flags...>   extra flags for every program, e.g.
#                                    --benchmark_repetitions=9
# Not part of scripts/test.sh: speed is measured here, never in tests.
set -euo pipefail
cd "$(dirname "$0")/.."

command_line="scripts/bench.sh${*:+ $*}"
quick=0
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --) shift; extra=("$@"); break ;;
    *) echo "bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

scripts/install-deps.sh

echo "=== bench: configure and build"
cmake --preset bench >/dev/null
cmake --build --preset bench

build=build/bench
bin=$build/bench
out_dir=docs
if [ "$quick" -eq 1 ]; then
  extra=(--tarvex_scale=0.1 "${extra[@]}")
  out_dir=$build/report
fi
mkdir -p "$out_dir" "$build/logs"
results=$build/results.jsonl
: >"$results"

machine="$(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average at start $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"

programs=(bench_same_thread_emit bench_queued_throughput
          bench_blocking_round_trip bench_activity_reporting
          bench_queued_memory)
for program in "${programs[@]}"; do
  echo "=== bench: $program"
  "$bin/$program" --tarvex_results="$results" --benchmark_color=false \
    "${extra[@]}" | tee "$build/logs/$program.txt"
done

echo "=== bench: instructions per same-thread emit (callgrind)"
small=20000
large=40000
if [ "$quick" -eq 1 ]; then small=2000; large=4000; fi
instructions=$build/instructions.json
subjects=(std_function sigc signals2 qt5)
if "$bin/bench_emit_instructions" ours 1 >/dev/null 2>&1; then
  subjects=(ours "${subjects[@]}")
fi
collected() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "$bin/bench_emit_instructions" "$1" "$2" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
{
  echo "{"
  separator=""
  for subject in "${subjects[@]}"; do
    a=$(collected "$subject" "$small")
    b=$(collected "$subject" "$large")
    per_emit=$(( (b - a) / (large - small) ))
    echo "  $subject: $per_emit instructions per emit" >&2
    printf '%s  "%s": %s' "$separator" "$subject" "$per_emit"
    separator=$',\n'
  done
  printf '\n}\n'
} >"$instructions"

python3 bench/report.py --results "$results" --instructions "$instructions" \
  --command "$command_line" --machine "$machine" \
  --out "$out_dir/benchmarks.md" --plot "$out_dir/benchmarks-queued.svg"
echo "=== bench: wrote $out_dir/benchmarks.md and $out_dir/benchmarks-queued.svg"
