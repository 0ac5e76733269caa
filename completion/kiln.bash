# bash completion for kiln. The resolutions, modes and font-set names come
# from kiln itself (kiln --list-words), so that the definition file has one
# reader only.

_kiln_words() {  # KIND: the words of that kind in the definition file in use
  local kind=$1 definition= i
  for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do
    case ${COMP_WORDS[i]} in
      --definition) definition=${COMP_WORDS[i + 1]} ;;
      --definition=*) definition=${COMP_WORDS[i]#--definition=} ;;
    esac
  done
  definition=${definition/#\~/$HOME}
  local -a args=(--list-words)
  [[ -n $definition ]] && args+=(--definition "$definition")
  "${COMP_WORDS[0]}" "${args[@]}" 2>/dev/null | while IFS=" " read -r k word; do
    [[ $k == "$kind" ]] && printf '%s\n' "$word"
  done
}

_kiln_files() {  # [PATTERN]: file names (matching PATTERN) and directories
  local cur=$1 pattern=$2 IFS=$'\n'
  compopt -o filenames 2>/dev/null
  if [[ -n $pattern ]]; then
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!$pattern" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_kiln() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local IFS=$'\n'
  COMPREPLY=()
  case $prev in
    --definition | --install | --missfont) _kiln_files "$cur"; return ;;
    --dvi) _kiln_files "$cur" '*.dvi'; return ;;
    --map) COMPREPLY=($(compgen -W 'none' -- "$cur")); _kiln_more_files "$cur" '*.map'; return ;;
    --target-dir) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --texmf)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -W $'var\nhome' -- "$cur") $(compgen -d -- "$cur")); return ;;
    --reaction) COMPREPLY=($(compgen -W $'S\nC\nI' -- "$cur")); return ;;
    --priority)
      COMPREPLY=($(compgen -W $'realtime\nhigh\nnormal\nidle\n0\n1\n2\n3' -- "$cur")); return ;;
    --driver) COMPREPLY=($(compgen -W $'dvips\ndvipng\nxdvi\npdftex' -- "$cur")); return ;;
    --mode) COMPREPLY=($(compgen -W "$(_kiln_words mode | sort -u)" -- "$cur")); return ;;
    -j | --jobs | --oversample) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W $'--definition\n--install\n--uninstall\n--target-dir\n--texmf\n--dvi\n--missfont\n--map\n--mode\n--driver\n--oversample\n--overwrite\n--debug\n--priority\n--reaction\n--jobs\n--detailed\n--dry-run\n--no-wait\n--help\n--version' -- "$cur"))
    return
  fi
  # After the options: a RESOLUTION first, then FONTSETs.
  local i words=0 skip=0
  for ((i = 1; i < COMP_CWORD; i++)); do
    if ((skip)); then skip=0; continue; fi
    case ${COMP_WORDS[i]} in
      --definition | --install | --target-dir | --texmf | --dvi | --missfont | --map | \
      --mode | --driver | --oversample | --priority | --reaction | -j | --jobs) skip=1 ;;
      -*) ;;
      *) ((words++)) ;;
    esac
  done
  if ((words == 0)); then
    COMPREPLY=($(compgen -W "$(_kiln_words resolution | sort -un)" -- "$cur"))
  else
    COMPREPLY=($(compgen -W "$(_kiln_words fontset)" -- "$cur"))
  fi
}

_kiln_more_files() {  # adds file names matching PATTERN and directories
  local cur=$1 pattern=$2 IFS=$'\n'
  compopt -o filenames 2>/dev/null
  COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X "!$pattern" -- "$cur"))
}

complete -F _kiln kiln
