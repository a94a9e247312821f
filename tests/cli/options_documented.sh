#!/usr/bin/env bash
# Every command and option a program's --help names must be offered by the bash completion
# and described in the manual page. Usage:
#   options_documented.sh RDSQ7_CLI COMPLETION MAN_DIR [RDSQ7]
# Each omission is one line naming the option, the command and the file to add it to.
set -uo pipefail

cli=$1 completion=$2 man_dir=$3 window=${4:-}
missing=0
complain() {
  echo "$1" >&2
  missing=$((missing + 1))
}

# The long options a help text names, one per line.
long_options() { grep -oE -- '--[a-z][a-z0-9-]*[a-z0-9]' | sort -u; }

# The words of a manual page, with roff's escaped hyphens made plain.
man_text() { gzip -dc "$1" | sed 's/\\-/-/g'; }

# What the completion offers at the end of "rdsq7-cli WORDS...", run as bash does on Tab.
source /usr/share/bash-completion/bash_completion
source "$completion"
offered() {
  COMP_WORDS=(rdsq7-cli "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _rdsq7_cli rdsq7-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}"
}

cli_page=$(man_text "$man_dir/rdsq7-cli.1.gz") || complain "no manual page $man_dir/rdsq7-cli.1.gz"
top_help=$("$cli" --help)
commands=$(sed -n '/^Commands:/,/^[A-Z]/p' <<<"$top_help" | grep -oE '^  [a-z]+' | tr -d ' ')
[[ -n $commands ]] || complain "rdsq7-cli --help lists no commands"

top_offered=$(offered "")
for option in $(sed -n '/^Options:/,/^[A-Z]/p' <<<"$top_help" | long_options); do
  grep -qxF -- "$option" <<<"$top_offered" ||
    complain "rdsq7-cli $option: missing from the bash completion ($completion)"
  grep -qF -- "$option" <<<"$cli_page" ||
    complain "rdsq7-cli $option: missing from the manual page rdsq7-cli(1)"
done
for command in $commands; do
  grep -qxF -- "$command" <<<"$top_offered" ||
    complain "rdsq7-cli $command: command missing from the bash completion ($completion)"
  grep -qixF -- ".SH \"COMMAND $command\"" <<<"$cli_page" ||
    complain "rdsq7-cli $command: command missing from the manual page rdsq7-cli(1)"
  help=$("$cli" "$command" --help) || {
    complain "rdsq7-cli $command --help failed"
    continue
  }
  command_offered=$(offered "$command" "--")
  for option in $(long_options <<<"$help"); do
    grep -qxF -- "$option" <<<"$command_offered" ||
      complain "rdsq7-cli $command $option: missing from the bash completion ($completion)"
    grep -qF -- "$option" <<<"$cli_page" ||
      complain "rdsq7-cli $command $option: missing from the manual page rdsq7-cli(1)"
  done
done

# Values: files where a file is named, serial devices or "default" for a COM port.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/studio.conf"
for case in "serve --config|$scratch/studio.conf" "encode --settings|$scratch/studio.conf" \
  "ports --com1|default" "send --format|hex" "history --format|csv"; do
  words=${case%|*} want=${case#*|}
  [[ $want == "$scratch"/* ]] && cur=$scratch/ || cur=""
  # shellcheck disable=SC2086
  grep -qxF -- "$want" <<<"$(offered $words "$cur")" ||
    complain "rdsq7-cli $words: the bash completion ($completion) does not offer $want"
done

if [[ -n $window ]]; then
  window_page=$(man_text "$man_dir/rdsq7.1.gz") || complain "no manual page $man_dir/rdsq7.1.gz"
  window_help=$("$window" --help) || complain "rdsq7 --help failed"
  for option in $(long_options <<<"$window_help"); do
    grep -qF -- "$option" <<<"$window_page" ||
      complain "rdsq7 $option: missing from the manual page rdsq7(1)"
  done
fi

if ((missing > 0)); then
  echo "$missing omissions; add each where named (the manual pages take a command's --help" \
    "as it is, and docs/man/*.h2m for the rest)" >&2
  exit 1
fi
echo "every command and option of the --help texts is completed and in the manual pages"
