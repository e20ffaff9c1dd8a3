# bash completion for invdb: the sub-commands, then each one's options; the
# database NAME as the name invdb takes (NAME for NAME.XXX); file names for
# the CSV files.
declare -F _inv_databases >/dev/null || source "${BASH_SOURCE[0]%/*}/inv_common.bash"
_invdb() {
  local cur prev words cword
  if declare -F _init_completion >/dev/null; then
    _init_completion -n = || return
  else
    cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
  fi
  local commands="create sample import export heading delete show check clear-mark stat dump help"
  if ((cword == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi
  local options=""
  case ${words[1]} in
    create) options="--capacity" ;;
    sample) options="--items --seed --force" ;;
    import) options="--restore --dry-run --json --decimal-money --ignore-unknown" ;;
    export) options="--verbose" ;;
    heading) options="--left --right --json" ;;
    check | stat | show) options="--json" ;;
    help)
      ((cword == 2)) && mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
      return
      ;;
  esac
  case $prev in
    --capacity | --items | --seed) return ;;  # a number
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options --help" -- "$cur")
    return
  fi
  # NAME: an existing database, except for the commands that make one.
  if ((cword == 2)) && [[ ${words[1]} != create && ${words[1]} != sample ]]; then
    _inv_databases "$cur"
    return
  fi
  case ${words[1]} in
    delete | show | heading) return ;;  # stock indexes, heading lines
  esac
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -o filenames -F _invdb invdb
