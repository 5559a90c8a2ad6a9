#!/usr/bin/env bash
# Installs what is missing, builds BRINDLE in build/ and starts it on the bundled sample tables.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build -j2
exec build/bin/brindle build/samples
