#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks that every promised file
# is there and that the manual pages format without a warning, then builds a
# small program against the installed library twice -- through
# find_package(invisam CONFIG) and through pkg-config -- and has each count the
# items of a sample store made by the installed invdb, opened by its path.
#   run.sh CMAKE BUILD_DIR CXX
# Exits 77 (skipped) when pkg-config is missing.
set -euo pipefail
cmake=$1 build=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
command -v pkg-config >/dev/null || { echo "pkg-config is missing"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/invinstall.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/invreport bin/invdb bin/invrender include/invisam/isam/store.h share/man/man1/invreport.1 \
  share/man/man1/invdb.1 share/man/man1/invrender.1 share/bash-completion/completions/invdb \
  share/bash-completion/completions/invreport share/bash-completion/completions/invrender; do
  [[ -e $prefix/$f ]] || fail "$f was not installed"
done
# The headers are the store API and what it needs, none of the core's.
for f in call_interface.h record_file.h index.h journal.h block_reader.h; do
  [[ ! -e $prefix/include/invisam/isam/$f ]] || fail "the core's header $f was installed"
done
lib=$(find "$prefix" -name libinvisam.a)
pc=$(find "$prefix" -name invisam.pc)
[[ -n $lib && -n $pc && -n $(find "$prefix" -name invisamConfigVersion.cmake) ]] || fail "library files missing"

# The SQLite extension and its manual; the installed extension loads.
so=$(find "$prefix" -name invsql.so)
[[ -n $so && -e $prefix/share/man/man7/invsql.7 ]] || fail "the SQLite extension or its manual was not installed"
if command -v sqlite3 >/dev/null; then
  [[ $(sqlite3 :memory: -cmd ".load ${so%.so}" "SELECT count(*) FROM pragma_table_xinfo('invstore')") == 47 ]] ||
    fail "the installed extension does not load"
fi

for page in "$prefix"/share/man/man1/*.1 "$prefix"/share/man/man7/*.7; do
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page"
  [[ -z $warnings ]] || fail "$page: $warnings"
done

# Each manual page points to the other programs.
for page in invreport invdb invrender; do
  for other in invreport invdb invrender; do
    [[ $page == "$other" ]] && continue
    sed -n '/^\.SH SEE ALSO/,$p' "$prefix/share/man/man1/$page.1" | grep -q "^\.BR $other (1)" ||
      fail "$page.1 does not name $other in SEE ALSO"
  done
done

# The completion offers the sub-commands, then a command's options.
completions=$(bash -c 'source "$1"; COMP_WORDS=(invdb s); COMP_CWORD=1; _invdb; echo "${COMPREPLY[*]}"
  COMP_WORDS=(invdb stat X --); COMP_CWORD=3; _invdb; echo "${COMPREPLY[*]}"' _ \
  "$prefix/share/bash-completion/completions/invdb")
[[ $completions == $'sample show stat\n--json --help' ]] || fail "completion offered: $completions"

mkdir "$work/store"
(cd "$work/store" && "$prefix/bin/invdb" sample STOCK --items 123 --seed 5 >/dev/null)

# Each installed completion stands alone: databases by the name the programs
# take, report numbers from the installed invreport.
completions=$(cd "$work/store" && bash -c 'source "$1"; COMP_WORDS=(invreport -F S); COMP_CWORD=2; _invreport
  echo "${COMPREPLY[*]}"; COMP_WORDS=("$2" -RPT 1); COMP_CWORD=2; _invreport; echo "${#COMPREPLY[@]}"' _ \
  "$prefix/share/bash-completion/completions/invreport" "$prefix/bin/invreport")
[[ $completions == $'STOCK\n6' ]] || fail "invreport completion offered: $completions"

"$cmake" -S "$here/consumer" -B "$work/by-cmake" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/log" 2>&1 || { cat "$work/log"; fail "find_package(invisam) failed"; }
"$cmake" --build "$work/by-cmake" >"$work/log" 2>&1 || { cat "$work/log"; fail "the find_package build failed"; }

export PKG_CONFIG_PATH=${pc%/*}
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$here/consumer/count_items.cc" $(pkg-config --cflags --libs invisam) -o "$work/by-pkg-config" ||
  fail "the pkg-config build failed"

for program in "$work/by-cmake/count_items" "$work/by-pkg-config"; do
  count=$("$program" "$work/store/STOCK") || fail "$program failed"
  [[ $count == 123 ]] || fail "$program counted $count items, not 123"
done
echo "installed, built twice, counted 123 items twice"
