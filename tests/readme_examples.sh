#!/usr/bin/env bash
# Runs every kavel-report line of README.md as a reader would type it, from a folder that holds
# a copy of the repository's examples/: each must end with exit status 0 or 1, or with the
# status that its comment gives ("# exit 2: ..."). So README cannot drift from the program.
# Usage: readme_examples.sh SOURCE_ROOT FOLDER_OF_KAVEL_REPORT
set -uo pipefail
root=$1
export PATH=$2:$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples" "$work/"
cd "$work" || exit 1
count=0 failed=0
while IFS= read -r line; do
  command=${line#"${line%%[![:space:]]*}"}
  want="0 1"
  [[ $command =~ \#\ exit\ ([0-9]+) ]] && want=${BASH_REMATCH[1]}
  bash -c "$command" >/dev/null 2>"$work/stderr"
  status=$?
  count=$((count + 1))
  if [[ " $want " != *" $status "* ]]; then
    echo "README example ended with $status, not $want: $command" >&2
    cat "$work/stderr" >&2
    failed=1
  fi
done < <(grep -E '^[[:space:]]+kavel-report ' "$root/README.md")
if [ "$count" -lt 4 ]; then
  echo "README holds $count kavel-report examples, fewer than 4" >&2
  exit 1
fi
exit $failed
