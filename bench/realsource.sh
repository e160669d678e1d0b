# bench/run's real-source case (sourced by bench/run, which sets build, report, corpusgen, hsref,
# root, work and rounds). Times are medians of the rounds, the tools run interleaved.

# The corpus: the C sources of glibc and gdb from Debian's source packages, text files only
# (a file with a NUL byte is left out), as shipped and with CR LF line ends.
src=$build/bench-source
if [ ! -f "$src/names" ]; then
  pkgs=(glibc-source gdb-source)
  missing=()
  for p in "${pkgs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
      echo "bench/run needs: sudo apt-get install ${missing[*]}" >&2
      exit 2
    fi
  fi
  echo "Unpacking the sources of ${pkgs[*]} under $src ..."
  rm -rf "$src"
  mkdir -p "$src/lf"
  for archive in $(dpkg -L "${pkgs[@]}" | grep -E '\.tar\.xz$'); do
    tar -xJf "$archive" -C "$src/lf"
  done
  (cd "$src/lf" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) |
    "$corpusgen" --crlf-copy "$src/lf" "$src/crlf" >"$src/names.tmp"
  mv "$src/names.tmp" "$src/names"
fi
mapfile -t names <"$src/names"

lists=("$root/examples/y2k200.str" "$root/bench/strings/banned-api.str"
       "$root/bench/strings/api-short.str" "$root/bench/strings/short.str"
       "$root/bench/strings/absent.str")
listnames=("y2k200" "banned-api" "api-short" "short" "absent")
for i in "${!lists[@]}"; do tr -d '\r' <"${lists[$i]}" >"$work/list$i.lf"; done

# Two halves of the names of about equal bytes, for the two processes.
mapfile -t sizes < <(cd "$src/lf" && stat -c %s -- "${names[@]}")
bytes=0
for size in "${sizes[@]}"; do bytes=$((bytes + size)); done
half=0
sum=0
while [ $((2 * sum)) -lt "$bytes" ]; do
  sum=$((sum + sizes[half]))
  half=$((half + 1))
done
first=("${names[@]:0:half}")
second=("${names[@]:half}")

# Runs a command in the corpus folder $1 with its output to $2; sets secs (elapsed), kb (peak
# memory) and cpu (user and system seconds).
timed() {
  local dir=$1 out=$2 start end user sys
  shift 2
  start=$(date +%s%N)
  (cd "$dir" && /usr/bin/time -o "$work/time" -f "%M %U %S" "$@" >"$out" 2>/dev/null) || true
  end=$(date +%s%N)
  read -r kb user sys < <(tail -1 "$work/time")
  secs=$(awk "BEGIN { printf \"%.3f\", ($end - $start) / 1e9 }")
  cpu=$(awk "BEGIN { printf \"%.2f\", $user + $sys }")
}

tools=(kavel1 hsref rg kavel2 halves)
[ -x "$hsref" ] || tools=(kavel1 rg kavel2 halves)
# KAVEL_BASELINE=PATH names another kavel-report (an earlier build) to time beside this one.
baseline=${KAVEL_BASELINE:-}
[ -z "$baseline" ] || tools+=(base)
declare -A t peakkb
for ((r = 1; r <= rounds; r++)); do
  for k in lf crlf; do
    dir=$src/$k
    (cd "$dir" && cat -- "${names[@]}" >/dev/null) # into the page cache
    timed "$dir" /dev/null "$corpusgen" --read "${names[@]}"
    t[$k.read]+="$secs "
    t[$k.read.cpu]+="$cpu "
    for i in "${!lists[@]}"; do
      for tool in "${tools[@]}"; do
        out=$work/src.$k.$i.$tool
        case $tool in
          kavel1) timed "$dir" "$out" "$report" --jobs 1 --format grep --strings "${lists[$i]}" \
                    "${names[@]}" ;;
          kavel2) timed "$dir" "$out" "$report" --jobs 2 --format grep --strings "${lists[$i]}" \
                    "${names[@]}" ;;
          base) timed "$dir" "$out" "$baseline" --jobs 1 --format grep --strings "${lists[$i]}" \
                  "${names[@]}" ;;
          hsref) timed "$dir" "$out" "$hsref" "${lists[$i]}" "${names[@]}" ;;
          rg) timed "$dir" "$out" rg -F -i -n -a -j1 --no-ignore --hidden -f "$work/list$i.lf" \
                "${names[@]}" ;;
          halves)
            start=$(date +%s%N)
            (cd "$dir" || exit
             "$report" --jobs 1 --format grep --strings "${lists[$i]}" "${first[@]}" \
               >"$out.a" 2>/dev/null &
             "$report" --jobs 1 --format grep --strings "${lists[$i]}" "${second[@]}" \
               >"$out.b" 2>/dev/null &
             wait) || true
            end=$(date +%s%N)
            secs=$(awk "BEGIN { printf \"%.3f\", ($end - $start) / 1e9 }")
            kb=0 ;;
        esac
        t[$k.$i.$tool]+="$secs "
        t[$k.$i.$tool.cpu]+="${cpu:-0} "
        [ "${peakkb[$k.$i.$tool]:-0}" -ge "$kb" ] || peakkb[$k.$i.$tool]=$kb
      done
    done
  done
done

median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END {
  printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
div() { awk "BEGIN { printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.001) }"; }

for k in lf crlf; do
  dir=$src/$k
  total=$(cd "$dir" && cat -- "${names[@]}" | wc -c)
  lines=$(cd "$dir" && cat -- "${names[@]}" | wc -l)
  [ "$k" = lf ] && title="LF (as shipped)" || title="CR LF copy"
  read=$(median "${t[$k.read]}")
  echo
  echo "== Real source, $title: $((total / 1048576)) MB in ${#names[@]} files, $lines lines" \
    "(glibc and gdb sources); medians of $rounds rounds; read loop $read s" \
    "($(median "${t[$k.read.cpu]}") s of processor time)"
  printf '%-11s %6s %8s %8s %8s %8s %9s %9s %9s %10s %8s\n' list "hits" "kavel-j1" hsref \
    "rg -j1" kavel-j2 "hs/kavel" "rg/kavel" "kavel/rd" "j2/halves" "peak MB"
  for i in "${!lists[@]}"; do
    # The (file, line) pairs of every tool: kavel-report's grep format numbers physical lines.
    cut -d: -f1,2 "$work/src.$k.$i.kavel1" | LC_ALL=C sort -u >"$work/pairs.kavel"
    cut -d: -f1,2 "$work/src.$k.$i.rg" | LC_ALL=C sort -u >"$work/pairs.rg"
    agree="rg"
    others=(rg)
    if [ -x "$hsref" ]; then
      cut -d: -f1,2 "$work/src.$k.$i.hsref" | LC_ALL=C sort -u >"$work/pairs.hsref"
      others+=(hsref)
    fi
    notes=()
    for o in "${others[@]}"; do
      onlyk=$(LC_ALL=C comm -23 "$work/pairs.kavel" "$work/pairs.$o" | wc -l)
      onlyo=$(LC_ALL=C comm -13 "$work/pairs.kavel" "$work/pairs.$o" | wc -l)
      if [ "$onlyk" = 0 ] && [ "$onlyo" = 0 ]; then
        notes+=("$o: the same (file, line) pairs")
      else
        notes+=("$o: $onlyk pairs only from kavel, $onlyo only from $o")
        LC_ALL=C comm -3 "$work/pairs.kavel" "$work/pairs.$o" >"$work/pairs.diff.$k.$i.$o"
      fi
    done
    # Beyond the pairs: hsref prints the grep format's bytes, and --jobs 2 the same as --jobs 1.
    if [ -x "$hsref" ]; then
      cmp -s "$work/src.$k.$i.kavel1" "$work/src.$k.$i.hsref" &&
        notes+=("hsref: the same bytes as kavel --format grep") ||
        notes+=("hsref: other bytes than kavel --format grep, which prints the piece of a long line
            that holds the string and shows control bytes as ?")
    fi
    cmp -s "$work/src.$k.$i.kavel1" "$work/src.$k.$i.kavel2" &&
      notes+=("kavel --jobs 2: the same bytes as --jobs 1") ||
      notes+=("kavel --jobs 2: OTHER BYTES than --jobs 1")
    hits=$(wc -l <"$work/pairs.kavel")
    k1=$(median "${t[$k.$i.kavel1]}")
    hs=$([ -x "$hsref" ] && median "${t[$k.$i.hsref]}" || echo 0)
    rgm=$(median "${t[$k.$i.rg]}")
    k2=$(median "${t[$k.$i.kavel2]}")
    hv=$(median "${t[$k.$i.halves]}")
    printf '%-11s %5.1f%% %8s %8s %8s %8s %9s %9s %9s %10s %8.1f\n' "${listnames[$i]}" \
      "$(awk "BEGIN { print 100 * $hits / $lines }")" "$k1" "$hs" "$rgm" "$k2" \
      "$(div "$hs" "$k1")" "$(div "$rgm" "$k1")" "$(div "$k1" "$read")" "$(div "$k2" "$hv")" \
      "$(awk "BEGIN { print ${peakkb[$k.$i.kavel2]} / 1024 }")"
    # Processor time (user and system) is steadier than elapsed time on a busy machine.
    kc=$(median "${t[$k.$i.kavel1.cpu]}")
    cpuline="processor s: kavel-j1 $kc, rg -j1 $(median "${t[$k.$i.rg.cpu]}")"
    if [ -x "$hsref" ]; then
      hc=$(median "${t[$k.$i.hsref.cpu]}")
      cpuline+=", hsref $hc (hs/kavel $(div "$hc" "$kc"))"
    fi
    if [ -n "$baseline" ]; then
      b1=$(median "${t[$k.$i.base]}")
      bc=$(median "${t[$k.$i.base.cpu]}")
      cmp -s "$work/src.$k.$i.kavel1" "$work/src.$k.$i.base" && same="the same bytes" ||
        same="OTHER BYTES"
      notes+=("baseline --jobs 1: $b1 s, $(div "$b1" "$k1") times kavel's; $same")
      cpuline+=", baseline $bc (baseline/kavel $(div "$bc" "$kc"))"
    fi
    notes+=("$cpuline")
    notes+=("path: $("$build/bench/kavel-matcher-bench" --describe "${lists[$i]}")")
    for note in "${notes[@]}"; do printf '%11s %s\n' "" "$note"; done
  done
done
echo
echo "hs/kavel and rg/kavel: their time over kavel-report --jobs 1's (above 1: kavel is faster);"
echo "kavel/rd: kavel --jobs 1 over the read loop; j2/halves: --jobs 2 over two --jobs 1"
echo "processes on two halves at once (1: the ceiling); peak MB: kavel --jobs 2."
