#!/usr/bin/env bash
# Installs the Debian packages BRINDLE needs to build, run and test, skipping those already present.
# Idempotent: a second run installs nothing. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config   # the build
  clang-format                # the test command checks the formatting
  clang libclang-rt-14-dev    # the test build: sanitizers and libFuzzer
  qt6-base-dev                # the windows
  libsqlite3-dev sqlite3      # the SQL engine (and the shell the benchmarks compare with)
  libicu-dev                  # text order in the user's language
  libxlsxwriter-dev           # spreadsheet export
  libedit-dev                 # line editing at the brindle-sql prompt
  libgtest-dev                # unit tests
  xvfb xauth                  # GUI tests and screenshots without a display
  python3 python3-dbfread python3-dbf gdal-bin   # outside readers/writers for interop tests
  python3-openpyxl            # reads back exported workbooks in tests
  dpkg-dev desktop-file-utils appstream   # the Debian package and the checks of what is installed
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: these packages are missing and installing them needs root:" >&2
  echo "  apt-get install ${missing[*]}" >&2
  echo "Run that as root (or run this script as root), then run the command again." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
