# bash completion for invreport: the options; after -RPT the report numbers
# with their titles (asked of the program being completed, which lists them
# from its report catalogue); after -F the databases as the names it takes.
declare -F _inv_databases >/dev/null || source "${BASH_SOURCE[0]%/*}/inv_common.bash"
_invreport() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -RPT)
      _inv_reports "${COMP_WORDS[0]}" "$cur"
      return
      ;;
    -F)
      compopt -o filenames 2>/dev/null
      _inv_databases "$cur"
      return
      ;;
    -DT | --dept | --cat | --vendor | --from | --to) return ;;  # a date, a number, an identifier
  esac
  local options="-RPT -F -DT --dept --cat --vendor --from --to"
  ((COMP_CWORD == 1)) && options+=" --help -h --version"
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}
complete -F _invreport invreport
