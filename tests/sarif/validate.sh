#!/usr/bin/env bash
# Writes a SARIF log of each kind kavel-report writes and has the SARIF multitool validate it
# with GitHub's rules: no error and no warning but SARIF2005 (no informationUri: the project
# has no public address yet). The multitool comes from npm into the build folder; where it
# cannot be installed the check is skipped, saying why.
#   tests/sarif/validate.sh KAVEL_REPORT BUILD_FOLDER
set -euo pipefail
tool=$(realpath "$1")
cache=$(realpath "$2")/sarif-multitool
version=5.7.0
multitool=$cache/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool
if [ ! -x "$multitool" ]; then
  if ! command -v npm >/dev/null; then
    echo "sarif validate: skipped: npm is not installed"
    exit 0
  fi
  mkdir -p "$cache"
  if ! npm install --prefix "$cache" --no-audit --no-fund --silent \
      "@microsoft/sarif-multitool-linux@$version" >"$cache/npm.log" 2>&1; then
    echo "sarif validate: skipped: npm cannot install the multitool ($(tail -n 1 "$cache/npm.log"))"
    exit 0
  fi
  chmod u+x "$multitool" # npm leaves install scripts out
fi
export DOTNET_SYSTEM_GLOBALIZATION_INVARIANT=1 DOTNET_CLI_TELEMETRY_OPTOUT=1

work=$(mktemp -d)
other=$(mktemp -d)
trap 'rm -rf "$work" "$other"' EXIT
logs=$work/logs
mkdir "$logs" "$work/tree"
cd "$work/tree"
printf '19\nyear\n%%y\n' > s.str
mkdir src
printf 'the year 1999\nnothing\n\tyear \xc3\xa9 19\nprintf("%%y")\n' > src/a.c
printf 'clean\n' > src/b.c
run() { # NAME ARGS...: the log of kavel-report ARGS; exit status 0 to 2 is a log
  local name=$1 status=0
  shift
  "$tool" --strings s.str --format sarif "$@" > "$logs/$name.sarif" 2>/dev/null || status=$?
  [ "$status" -le 2 ] || { echo "sarif validate: $name: exit status $status" >&2; exit 1; }
}
run hits src
run no-hit src/b.c
run failed-file src src/missing.c
# A stop while the list of files waits for more names.
mkfifo list
"$tool" --strings s.str --format sarif --files-from list > "$logs/stopped.sarif" & pid=$!
exec 3>list
echo src/a.c >&3
sleep 0.5
kill -TERM "$pid"
wait "$pid" || true
exec 3>&-
run base src
cp "$logs/base.sarif" base.sarif
# New, unchanged and absent results, one of them of a string the strings file no longer has.
printf '19\nyear\n' > s.str
printf 'new 19\nthe year 1999\n' > src/a.c
printf 'year\n' > src/c.c
run baseline-all --baseline base.sarif --baseline-all src
run baseline-new --baseline base.sarif src
printf '19 \xff\xfe year\n' > "src/n$(printf '\xe9')t.c"
run not-utf8-names src
printf 'year\n' > "$other/out side.c"
run outside "$other/out side.c" src/a.c
# Accepted by a marker, and outside a change: every result with its suppression and property.
git init -q -b main . && git add src && git -c user.name=t -c user.email=t@example.invalid \
  commit -q -m base
printf 'year 19 // kavel-ignore: 19\nthe year 1999\n' > src/a.c
run markers-changed --changed-since main --all-results src

failed=0
for log in "$logs"/*.sarif; do
  out=$("$multitool" validate "$log" --rule-kind "Sarif;Gh;Ghas" 2>&1) || true
  found=$(grep -oE ": (error|warning|note) [A-Z]+[0-9]+" <<<"$out" | sort | uniq -c |
    awk '{printf " %s %s x%d", $3, $4, $1}' || true)
  echo "sarif validate: $(basename "$log" .sarif):${found:- nothing}"
  if grep -E ": (error|warning) " <<<"$out" | grep -vq "warning SARIF2005:" ||
     ! grep -q "Analysis completed successfully" <<<"$out"; then
    echo "$out" >&2
    failed=1
  fi
done
exit $failed
