#!/usr/bin/env bash
# Installs the Debian packages Kalmora needs, with apt-get (as root directly,
# otherwise through sudo).
#
#   scripts/install-deps.sh          the program and its report: compiler,
#                                    CMake, OpenMP (with g++), and Python 3
#                                    with matplotlib, NumPy and VTK for
#                                    tools/kalmora-report
#   scripts/install-deps.sh --all    also the tests, the benchmarks and the
#                                    sanitizer and fuzz builds: GoogleTest,
#                                    Google Benchmark, SuiteSparse, sequential
#                                    MUMPS, OpenBLAS, clang with its sanitizer
#                                    and libFuzzer runtimes, LLVM's OpenMP,
#                                    Open MPI for the MPI build and Chromium
#                                    (headless) for the report's browser check
set -euo pipefail

# The program: g++ brings OpenMP (libgomp); the report reads the result
# files with VTK's Python module and draws with matplotlib.
program=(g++ cmake make python3 python3-numpy python3-matplotlib python3-vtk9)
# Tests and benchmarks: GoogleTest builds the tests, Google Benchmark,
# SuiteSparse (UMFPACK) and sequential MUMPS with OpenBLAS the benchmarks;
# clang with its sanitizer and libFuzzer runtimes and LLVM's OpenMP runtime
# build the sanitizer tree and the fuzz targets; Open MPI the MPI build and
# its test; Chromium opens the report page headless and checks its pictures.
tests=(libgtest-dev libgmock-dev libbenchmark-dev libsuitesparse-dev libmumps-seq-dev libopenblas-dev
       clang libclang-rt-dev libomp-dev libopenmpi-dev openmpi-bin chromium)

packages=("${program[@]}")
case "${1-}" in
  "") ;;
  --all) packages+=("${tests[@]}") ;;
  -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "install-deps.sh: unknown option \"$1\"; expected none or --all" >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then echo "install-deps.sh: one option at most, got $#" >&2; exit 2; fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
# Waits for another apt-get holding the package lock instead of failing.
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${packages[@]}" >/dev/null
echo "install-deps.sh: installed ${#packages[@]} packages: ${packages[*]}"
