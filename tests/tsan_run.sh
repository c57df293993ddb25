#!/usr/bin/env bash
# ThreadSanitizer run of a four-variant case: builds the program with clang,
# -fsanitize=thread and LLVM's OpenMP runtime, whose Archer tool tells
# ThreadSanitizer about OpenMP's own synchronisation, then runs the bundled
# round-bar example with four ram speeds on four threads.  Exits non-zero on
# any ThreadSanitizer report or a failed run.
#
#   tests/tsan_run.sh [BUILD_DIR] [EXAMPLE_DIR]
#
# BUILD_DIR defaults to build-tsan in the source tree, EXAMPLE_DIR to
# examples/round-bar; the example's first ram speed list is replaced by four
# speeds and the iteration limit set to 2.  Needs clang, libomp-dev and libclang-rt-dev.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tsan}
example=${2:-$root/examples/round-bar}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKALMORA_BUILD_TESTS=OFF \
  -DKALMORA_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="-fsanitize=thread -g -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$build" -j2 --target kalmora

archer=$(ls /usr/lib/llvm-*/lib/libarcher.so 2>/dev/null | head -1 || true)
if [ -z "$archer" ]; then
  echo "tsan_run: LLVM's OpenMP tool libarcher.so not found (apt-get install libomp-dev)" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$example"/. "$work"/
# Four ram speeds: the count line becomes 4 and three speeds precede the
# example's own.
sed -i '0,/number of ram speeds/s/^[0-9-]*\( *number of ram speeds.*\)$/4\1\n4.0\n6.0\n7.0/' "$work/indata.txt"
# Two coupled iterations: every phase of the solve runs, without iterating
# to convergence under the slow instrumentation.
sed -i 's/^[0-9]*\( *MaxIter:.*\)$/2\1/' "$work/indata.txt"

rc=0
(cd "$work" && OMP_NUM_THREADS=4 OMP_TOOL_LIBRARIES="$archer" \
  TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1 suppressions=$root/tests/tsan_suppressions.txt" \
  "$build/src/kalmora" >out.txt 2>err.txt) || rc=$?
reports=$(grep -c "WARNING: ThreadSanitizer" "$work/err.txt" || true)
grep " Numbers of avaible kernels =" "$work/out.txt" || true
echo "tsan_run: $(grep -c 'SolverOneVariant>  iVar=' "$work/out.txt" || true) variants solved, exit $rc, $reports ThreadSanitizer report(s)"
if [ "$rc" -ne 0 ] || [ "$reports" -ne 0 ]; then
  head -80 "$work/err.txt" >&2
  exit 1
fi
