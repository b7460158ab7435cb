#!/usr/bin/env bash
# Whole-process timings of a substitution-heavy regex table over a large Shift_JIS file:
#   tavvel-cli -q -n lf -r TABLE -o OUT FILE   vs   perl -pe '…'   vs   sed -E '…'
# with the same five commands (dates reordered, digit groups joined, a kanji word
# replaced, a word replaced case-insensitively, lower-case letters raised), and whether
# the three outputs are byte for byte the same.
#
# usage: scripts/bench-regex-peers.sh [PATH-TO-TAVVEL-CLI]
#   Without an argument the CLI is taken from $TAVVEL_CLI or build/default/cli/tavvel-cli.
# Environment: TEXT_MB (default 64) the size of the text, RUNS (default 3) the runs per
#   command (the best wall time and the least CPU time are reported), BENCH_DIR the folder for the data (default: a new
#   temporary folder, removed at exit).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-${TAVVEL_CLI:-$root/build/default/cli/tavvel-cli}}
text_mb=${TEXT_MB:-64}
runs=${RUNS:-3}
for n in "$text_mb" "$runs"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "bench-regex-peers: '$n' is not a positive number" >&2; exit 2; }
done
[[ -x $cli ]] || { echo "bench-regex-peers: no tavvel-cli at '$cli'" >&2; exit 2; }

if [[ -n ${BENCH_DIR:-} ]]; then
  dir=$BENCH_DIR
  mkdir -p "$dir"
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tavvel-regex-bench.XXXXXX")
  trap 'rm -rf "$dir"' EXIT
fi
export LC_ALL=C

# --- data ---------------------------------------------------------------------------------
# Shift_JIS prose with ASCII dates, numbers and words, LF line ends.
text="$dir/text.sjis"
if [[ ! -f $text || $(stat -c %s "$text") -lt $((text_mb * 1024 * 1024)) ]]; then
  perl -e '
    my $size = $ARGV[0] * 1024 * 1024;
    my @kanji = map { pack("C2", 0x88 + int($_ / 94), 0x9F + $_ % 94) } 0 .. 400;
    my @kana = map { pack("C2", 0x82, $_) } 0x9F .. 0xF1;
    my @words = ("report", "Report", "total", "see", "http://example.jp/a?b=c", "yen");
    my $tokyo = "\x93\x8c\x8b\x9e";
    srand(7);
    my $out = "";
    while (length($out) < $size) {
      my $line = "";
      for (1 .. 6 + int(rand(6))) {
        my $r = rand();
        if ($r < 0.35) { $line .= $kanji[int(rand(@kanji))] x (1 + int(rand(2))) }
        elsif ($r < 0.6) { $line .= join("", map { $kana[int(rand(@kana))] } 1 .. 3) }
        elsif ($r < 0.7) { $line .= $tokyo }
        elsif ($r < 0.8) { $line .= sprintf(" %d/%d/%d ", 1 + int(rand(12)), 1 + int(rand(28)), 2000 + int(rand(30))) }
        elsif ($r < 0.9) { $line .= sprintf(" %d,%03d,%03d ", int(rand(999)), int(rand(1000)), int(rand(1000))) }
        else { $line .= " " . $words[int(rand(@words))] . " " }
      }
      $out .= $line . "\x81\x42\n";
    }
    print $out;
  ' "$text_mb" >"$text"
fi
bytes=$(stat -c %s "$text")

# --- the same commands three ways --------------------------------------------------------
printf '%s\n' \
  's/(\d+)\/(\d+)\/(\d{4})/$3-$1-$2/g' \
  's/(\d),(\d\d\d)/$1$2/g' \
  $'s/\x93\x8c\x8b\x9e/\x96\xbc\x8c\xc3\x89\xae/gk' \
  's/report/REPORT/gi' \
  'tr/a-z/A-Z/' >"$dir/table"
perl_code=$'s/(\\d+)\\/(\\d+)\\/(\\d{4})/$3-$1-$2/g; s/(\\d),(\\d\\d\\d)/$1$2/g; s/\x93\x8c\x8b\x9e/\x96\xbc\x8c\xc3\x89\xae/g; s/report/REPORT/gi; tr/a-z/A-Z/'
printf '%s\n' \
  's#([0-9]+)/([0-9]+)/([0-9]{4})#\3-\1-\2#g' \
  's/([0-9]),([0-9]{3})/\1\2/g' \
  $'s/\x93\x8c\x8b\x9e/\x96\xbc\x8c\xc3\x89\xae/g' \
  's/report/REPORT/gI' \
  'y/abcdefghijklmnopqrstuvwxyz/ABCDEFGHIJKLMNOPQRSTUVWXYZ/' >"$dir/script.sed"

best=""
cpu=""
time_best() {  # runs "$@" RUNS times; best: the shortest wall time, cpu: the least user + system time (s)
  best=""
  cpu=""
  for ((i = 0; i < runs; ++i)); do
    local t real user sys used
    t=$({ TIMEFORMAT='%R %U %S'; time "$@" 2>/dev/null; } 2>&1)
    read -r real user sys <<<"$t"
    used=$(echo "$user + $sys" | bc)
    if [[ -z $best ]] || (($(echo "$real < $best" | bc))); then best=$real; fi
    if [[ -z $cpu ]] || (($(echo "$used < $cpu" | bc))); then cpu=$used; fi
  done
}

report() {  # name, output file
  local mbps
  mbps=$(echo "scale=1; $bytes / 1048576 / $best" | bc)
  printf '%-12s %8.3f s wall  %8.3f s cpu  %7s MiB/s  ' "$1" "$best" "$cpu" "$mbps"
  if cmp -s "$2" "$dir/out.tavvel"; then echo "same output as tavvel-cli"; else echo "output differs from tavvel-cli"; fi
}

echo "text: $bytes bytes of Shift_JIS, $(wc -l <"$text") lines; best of $runs runs"
time_best "$cli" -q -n lf -r "$dir/table" -o "$dir/out.tavvel" "$text"
report tavvel-cli "$dir/out.tavvel"
time_best sh -c 'perl -pe "$1" <"$2" >"$3"' perl "$perl_code" "$text" "$dir/out.perl"
report "perl -pe" "$dir/out.perl"
time_best sh -c 'sed -E -f "$1" <"$2" >"$3"' sed "$dir/script.sed" "$text" "$dir/out.sed"
report "sed -E" "$dir/out.sed"
