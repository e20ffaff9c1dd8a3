#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo use, where
# they are missing; does nothing when everything is there.  Run by `make deps`,
# which every other make target runs first.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev  # tests and benchmarks
  libcli11-dev                                # invdb's command line
  libcairo2-dev fonts-dejavu-core             # PDF rendering of reports
  poppler-utils                               # the rendering tests read PDFs back
  libxlsxwriter-dev                           # xlsx output of reports
  python3-openpyxl                            # the rendering tests read spreadsheets back
  clang-format                                # make format-check
  sqlite3                                     # make bench compares against it
  libsqlite3-dev                              # the invsql extension (headers) and its tests
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "deps: installing ${missing[*]}"
sudo=()
[[ $(id -u) == 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
