#!/usr/bin/env bash
# Installs what is missing, builds an optimised BRINDLE (no sanitizers) in build-run/ and starts it on the
# bundled sample tables. The test command builds in build/ with its own options: the two never share a
# build tree, so neither inherits the other's cached options.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DBRINDLE_SANITIZE=OFF -DBRINDLE_GUI=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-run -j2
exec build-run/bin/brindle build-run/samples
