# bash completion for invrender: the options, the formats after --format, the
# report numbers with their titles after --report (from the invreport beside
# it, or the one on the PATH), file names elsewhere.
declare -F _inv_databases >/dev/null || source "${BASH_SOURCE[0]%/*}/inv_common.bash"
_invrender() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    --format)
      mapfile -t COMPREPLY < <(compgen -W "text html pdf xlsx" -- "$cur")
      return
      ;;
    --encoding)
      mapfile -t COMPREPLY < <(compgen -W "utf-8 latin1" -- "$cur")
      return
      ;;
    --report)
      local program=${COMP_WORDS[0]%invrender}invreport
      [[ $program == invreport || ! -x $program ]] && program=invreport
      _inv_reports "$program" "$cur"
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "-o --format --report --encoding --help" -- "$cur")
    return
  fi
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _invrender invrender
