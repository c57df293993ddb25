#!/usr/bin/env bash
# Runs every fuzz target for a given time, seeded from the bundled examples.
#
#   tests/fuzz/run_fuzzers.sh BUILD_DIR SECONDS [PARALLEL]
#
# BUILD_DIR is a tree configured with clang and -DKALMORA_FUZZ=ON (the fuzz
# targets and the program built).  Each target runs SECONDS seconds; PARALLEL
# targets run at a time (default 1).  A crash, a sanitizer report, a hang of
# one input over 10 s or memory above 2 GB is a finding: its input is kept in
# BUILD_DIR/fuzz-findings/ and the script exits non-zero.  The last lines of
# each run (inputs executed, corpus size) are printed.  FUZZ_TARGETS="a b"
# runs only the targets named (input_file outline_file outline_description
# section_file).
set -euo pipefail
build=$(cd "$1" && pwd)
secs=$2
parallel=${3:-1}
root=$(cd "$(dirname "$0")/../.." && pwd)
targets=(${FUZZ_TARGETS:-input_file outline_file outline_description section_file})

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: every example's input file, outline file and outline description,
# and the cross-section file the program writes for it when it prepares the
# variants (no solve).
for t in input_file outline_file outline_description section_file; do mkdir -p "$work/seed_$t" "$work/corpus_$t"; done
for ex in "$root"/examples/*/; do
  name=$(basename "$ex")
  cp "$ex/indata.txt" "$work/seed_input_file/$name.txt"
  for f in "$ex"/*.olf; do cp "$f" "$work/seed_outline_file/$name-$(basename "$f")"; done
  for f in "$ex"/*.txt; do
    [ "$(basename "$f")" = indata.txt ] || cp "$f" "$work/seed_outline_description/$name-$(basename "$f")"
  done
  cp -r "$ex" "$work/run_$name"
  (cd "$work/run_$name" && "$build/src/kalmora" --prepare-only >/dev/null)
  cp "$work/run_$name/extrusion_var_1.f2d" "$work/seed_section_file/$name.f2d"
done
# A complete cross-section file small enough for quick mutation: one mesh of
# two 6-node triangles on the unit square.
printf ' 1 2\n 2 1 1.2\n 4 9 0 0 0\n 1 0 0 65\n 2 1 0 65\n 3 1 1 65\n 4 0 1 65\n 5 0.5 0.5 0\n 6 0.5 0 1\n 7 1 0.5 1\n 8 0.5 1 1\n 9 0 0.5 1\n 1 2 3 5 6 7\n 1 3 4 9 5 8\n' \
  >"$work/seed_section_file/small.f2d"

mkdir -p "$build/fuzz-findings"
run_one() {
  local t=$1
  mkdir -p "$work/art_$t"
  local rc=0
  # Inputs up to 8 kB: the examples' cross-section files are larger and are
  # mutated in their first 8 kB.
  "$build/tests/fuzz/fuzz_$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 \
    -artifact_prefix="$work/art_$t/" "$work/corpus_$t" "$work/seed_$t" >"$work/log_$t" 2>&1 || rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log_$t" | grep -o '[0-9]*$' || echo "?")
  if [ "$rc" -ne 0 ]; then
    cp -r "$work/art_$t" "$build/fuzz-findings/$t" || true
    echo "fuzz_$t: FINDING (exit $rc) after $runs inputs; inputs kept in $build/fuzz-findings/$t"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$work/log_$t" | head -20
    return 1
  fi
  echo "fuzz_$t: $runs inputs in ${secs} s, no finding; corpus $(ls "$work/corpus_$t" | wc -l) files"
}

status=0
pids=()
names=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  names+=("$t")
  if [ "${#pids[@]}" -ge "$parallel" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
