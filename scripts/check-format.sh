#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the tree is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tools tests bench -name '*.cpp' -o -name '*.h' | sort)
unformatted=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then unformatted+=("$f"); fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check-format: these files are not formatted (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
