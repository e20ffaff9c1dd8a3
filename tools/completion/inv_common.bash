# Shared by the completions of invreport, invdb and invrender (each file
# sources it, or carries a copy of these functions when installed alone).
#
# _inv_databases CUR: the databases whose name begins with CUR -- each index
# file NAME.XXX offered as NAME, the name the programs take -- and the
# directories, to go on into.
_inv_databases() {
  local cur=$1 f
  local -a found=()
  for f in "$cur"*.XXX; do
    [[ -f $f ]] && found+=("${f%.XXX}")
  done
  mapfile -t -O "${#found[@]}" found < <(compgen -d -S / -- "$cur")
  COMPREPLY=("${found[@]}")
}

# _inv_reports PROGRAM CUR: the report numbers beginning with CUR, each with
# its title as invreport --help lists them (from the report catalogue); a
# single match is the number alone, so that it goes onto the command line.
# PROGRAM is the invreport to ask.
_inv_reports() {
  local program=$1 cur=$2 line
  COMPREPLY=()
  while IFS= read -r line; do
    [[ $line =~ ^\ \ ([0-9][0-9])\ \ (.*)$ ]] || continue
    [[ ${BASH_REMATCH[1]} == "$cur"* ]] && COMPREPLY+=("${BASH_REMATCH[1]}  ${BASH_REMATCH[2]}")
  done < <("$program" --help 2>/dev/null)
  if ((${#COMPREPLY[@]} == 1)); then
    COMPREPLY=("${COMPREPLY[0]%%  *}")
  fi
}
