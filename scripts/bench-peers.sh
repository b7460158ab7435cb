#!/usr/bin/env bash
# Whole-process timings of tavvel-cli against its peers on the same data:
#   binary join:  tavvel-cli --binary -o OUT FILES...   vs  cat FILES > OUT
#   text join:    tavvel-cli -n lf -c euc -o OUT FILE   vs  iconv -f CP932 -t EUC-JP,
#                 uconv -f cp932 -t EUC-JP, nkf -S -e -x, and cat (the bytes alone)
#   Unicode:      tavvel-cli -n lf -c sjis on UTF-8 text and -c utf8 on Shift_JIS text
#                 vs iconv, uconv and cat, one run of each in turn
# Uses hyperfine when it is installed, else the shell's clock (best of the runs).
#
# usage: scripts/bench-peers.sh [PATH-TO-TAVVEL-CLI]
#   Without an argument the CLI is taken from $TAVVEL_CLI or build/default/cli/tavvel-cli.
#   Without a CLI only the peers are timed.
# Environment: BIN_MB (default 1024) and BIN_FILES (default 32) shape the binary data,
#   TEXT_MB (default 128) the Shift_JIS text, UNI_MB (default 64, at most TEXT_MB) the
#   text of the Unicode joins, RUNS (default 5) the runs per command,
#   BENCH_DIR the folder for the data (default: a new temporary folder, removed at exit),
#   BENCH_TIMER=shell uses the shell's clock even where hyperfine is installed,
#   BASE_CLI another tavvel-cli (an earlier build) timed in the Unicode joins as well.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-${TAVVEL_CLI:-$root/build/default/cli/tavvel-cli}}
bin_mb=${BIN_MB:-1024}
bin_files=${BIN_FILES:-32}
text_mb=${TEXT_MB:-128}
uni_mb=${UNI_MB:-64}
runs=${RUNS:-5}

for n in "$bin_mb" "$bin_files" "$text_mb" "$uni_mb" "$runs"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "bench-peers: '$n' is not a positive number" >&2; exit 2; }
done
if [[ -x $cli ]]; then
  cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
else
  echo "bench-peers: no tavvel-cli at '$cli'; timing the peers only" >&2
  cli=""
fi

if [[ -n ${BENCH_DIR:-} ]]; then
  dir=$BENCH_DIR
  mkdir -p "$dir"
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tavvel-bench.XXXXXX")
  trap 'rm -rf "$dir"' EXIT
fi

# --- data -------------------------------------------------------------------------------

# Binary: BIN_FILES files of random bytes, BIN_MB MiB together.
mkdir -p "$dir/bin"
per_file=$((bin_mb * 1024 * 1024 / bin_files))
files=()
for ((i = 0; i < bin_files; ++i)); do
  f=$(printf '%s/bin/part%03d.bin' "$dir" "$i")
  [[ -f $f && $(stat -c %s "$f") -eq $per_file ]] || head -c "$per_file" /dev/urandom >"$f"
  files+=("$f")
done
bin_bytes=$((per_file * bin_files))

# Text: Shift_JIS prose with LF line ends. Lines of 20 to 70 characters: runs of hiragana,
# kanji (JIS X 0208 rows 16 to 46), katakana and punctuation, now and then an ASCII word
# or a few half-width katakana. Every character is in code page 932 and in EUC-JP, so
# every converter takes the whole text. A pool of lines is drawn at random up to the size.
text="$dir/text.sjis"
if [[ ! -f $text || $(stat -c %s "$text") -ne $((text_mb * 1024 * 1024)) ]]; then
  perl -e '
    use strict; use warnings;
    my $size = $ARGV[0];
    srand(2026);
    sub pair { my ($s1, $s2) = @_; return chr($s1) . chr($s2); }
    sub kanji {  # rows 16 to 46: Shift_JIS first bytes 88 (second half) to 97
      my $row = 16 + int(rand(31)); my $cell = 1 + int(rand(94));
      my $s1 = (($row + 1) >> 1) + 0x80;
      my $s2 = ($row & 1) ? $cell + 0x3F + ($cell >= 64 ? 1 : 0) : $cell + 0x9E;
      return pair($s1, $s2);
    }
    sub hiragana { return pair(0x82, 0x9F + int(rand(83))); }
    sub katakana { my $c = 0x40 + int(rand(0x56)); $c++ if $c >= 0x7F; return pair(0x83, $c); }
    my @pool;
    for (1 .. 4096) {
      my $line = ""; my $chars = 20 + int(rand(51)); my $c = 0;
      while ($c < $chars) {
        my $kind = int(rand(100)); my $run = 1 + int(rand(5));
        if ($kind < 45)    { $line .= hiragana() for 1 .. $run; }
        elsif ($kind < 75) { $line .= kanji() for 1 .. $run; }
        elsif ($kind < 83) { $line .= katakana() for 1 .. $run; }
        elsif ($kind < 88) { $line .= pair(0x81, 0x41 + int(rand(2))); $run = 1; }
        elsif ($kind < 97) {
          $line .= " " . join("", map { chr(97 + int(rand(26))) } 1 .. $run) . " ";
        } else { $line .= chr(0xB1 + int(rand(0x2D))) for 1 .. $run; }
        $c += $run;
      }
      push @pool, "$line\n";
    }
    binmode STDOUT;
    my $out = ""; my $written = 0;
    while ($written < $size) {
      $out .= $pool[int(rand(@pool))];
      if (length($out) >= 1 << 20 || $written + length($out) >= $size) {
        $out = substr($out, 0, $size - $written) if $written + length($out) > $size;
        print $out; $written += length($out); $out = "";
      }
    }
  ' "$((text_mb * 1024 * 1024))" >"$text.tmp"
  # A cut at the very end may leave half a character: end the text on a whole line.
  perl -e 'local $/; binmode STDIN; binmode STDOUT; my $t = <STDIN>; $t =~ s/[^\n]*\z//; print $t' \
    <"$text.tmp" >"$text"
  rm -f "$text.tmp"
fi
text_bytes=$(stat -c %s "$text")

# Unicode: the first UNI_MB MiB of that text, ended on a whole line, and the same in UTF-8.
uni_sjis="$dir/uni.sjis"
uni_utf8="$dir/uni.utf8"
head -c "$((uni_mb * 1024 * 1024))" "$text" |
  perl -e 'local $/; binmode STDIN; binmode STDOUT; my $t = <STDIN>; $t =~ s/[^\n]*\z//; print $t' >"$uni_sjis"
iconv -f CP932 -t UTF-8 "$uni_sjis" >"$uni_utf8"

# --- timing -----------------------------------------------------------------------------

have() { command -v "$1" >/dev/null 2>&1; }

# time_group TITLE BYTES NAME COMMAND [NAME COMMAND]...: times each command and prints
# MB/s of BYTES (MB = 10^6 bytes).
time_group() {
  local title=$1 bytes=$2
  shift 2
  echo
  echo "== $title ($((bytes / 1000000)) MB)"
  if have hyperfine && [[ ${BENCH_TIMER:-} != shell ]]; then
    local args=() csv="$dir/result.csv"
    while (($#)); do
      args+=(-n "$1" "$2")
      shift 2
    done
    # Each run starts with the writes of the one before on disk.
    hyperfine --style basic --warmup 1 --runs "$runs" --prepare sync --export-csv "$csv" "${args[@]}" >"$dir/hyperfine.log" 2>&1 ||
      { cat "$dir/hyperfine.log" >&2; return 1; }
    awk -F, -v bytes="$bytes" 'NR > 1 {
      printf "  %-22s mean %7.3f s  median %7.3f s  min %7.3f s  %8.1f MB/s\n", $1, $2, $4, $7, bytes / $2 / 1e6 }' "$csv"
  else
    while (($#)); do
      local name=$1 cmd=$2 best="" t
      shift 2
      bash -c "$cmd" >/dev/null  # warm-up
      for ((r = 0; r < runs; ++r)); do
        sync  # the writes of the run before are on disk, not competing with this one
        t=$({ /usr/bin/env TIMEFORMAT=%R bash -c "time { $cmd; } >/dev/null 2>&1"; } 2>&1 | tail -1)
        [[ -z $best ]] || (($(awk -v a="$t" -v b="$best" 'BEGIN { print (a < b) }'))) && best=$t
      done
      awk -v n="$name" -v t="$best" -v bytes="$bytes" \
        'BEGIN { printf "  %-22s best %8.3f s  %8.1f MB/s\n", n, t, bytes / t / 1e6 }'
    done
  fi
}

# alternate_group TITLE BYTES NAME COMMAND [NAME COMMAND]...: one run of each command per
# round, RUNS rounds after a warm-up round, so that a change in the machine's load falls on
# every command alike; prints each command's median and its ratio to the first command's.
alternate_group() {
  local title=$1 bytes=$2
  shift 2
  local names=() cmds=() i r
  while (($#)); do
    names+=("$1")
    cmds+=("$2")
    shift 2
  done
  echo
  echo "== $title ($((bytes / 1000000)) MB), alternating"
  local times=()
  for ((r = 0; r <= runs; ++r)); do
    for i in "${!cmds[@]}"; do
      sync
      local start end
      start=$(date +%s.%N)
      bash -c "${cmds[$i]}" >/dev/null 2>&1
      end=$(date +%s.%N)
      ((r == 0)) || times[i]+="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }') "
    done
  done
  local first=""
  for i in "${!cmds[@]}"; do
    local median
    median=$(tr ' ' '\n' <<<"${times[$i]}" | grep . | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
    [[ -n $first ]] || first=$median
    awk -v n="${names[$i]}" -v t="$median" -v f="$first" -v bytes="$bytes" \
      'BEGIN { printf "  %-22s median %7.3f s  %8.1f MB/s  %5.2fx the first\n", n, t, bytes / t / 1e6, t / f }'
  done
}

q() { printf '%q' "$1"; }
file_args=""
for f in "${files[@]}"; do file_args+=" $(q "$f")"; done

echo "data in $dir: $bin_files binary files, $bin_bytes bytes; Shift_JIS text, $text_bytes bytes"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

group=()
[[ -n $cli ]] && group+=("tavvel-cli --binary" "$(q "$cli") --binary -q -o $(q "$dir/out.tavvel")$file_args")
group+=("cat" "cat$file_args > $(q "$dir/out.cat")")
time_group "binary join of $bin_files files" "$bin_bytes" "${group[@]}"

group=()
[[ -n $cli ]] && group+=("tavvel-cli -c euc" "$(q "$cli") -n lf -c euc -q -o $(q "$dir/text.tavvel") $(q "$text")")
have iconv && group+=("iconv" "iconv -f CP932 -t EUC-JP $(q "$text") > $(q "$dir/text.iconv")")
have uconv && group+=("uconv" "uconv -f cp932 -t EUC-JP $(q "$text") > $(q "$dir/text.uconv")")
have nkf && group+=("nkf -S -e -x" "nkf -S -e -x $(q "$text") > $(q "$dir/text.nkf")")
group+=("cat" "cat $(q "$text") > $(q "$dir/text.cat")")
time_group "Shift_JIS to EUC-JP, LF line ends" "$text_bytes" "${group[@]}"

# One Unicode join against its peers: unicode_group TITLE TAG INPUT CODE FROM TO, where CODE is
# tavvel-cli's output code and FROM/TO the codes as iconv names them (uconv takes the same).
unicode_group() {
  local title=$1 tag=$2 input=$3 code=$4 from=$5 to=$6
  group=()
  [[ -n $cli ]] && group+=("tavvel-cli -c $code" "$(q "$cli") -n lf -c $code -q -o $(q "$dir/$tag.tavvel") $(q "$input")")
  [[ -n ${BASE_CLI:-} ]] && group+=("base -c $code" "$(q "$BASE_CLI") -n lf -c $code -q -o $(q "$dir/$tag.base") $(q "$input")")
  have iconv && group+=("iconv" "iconv -f $from -t $to $(q "$input") > $(q "$dir/$tag.iconv")")
  have uconv && group+=("uconv" "uconv -f $from -t $to $(q "$input") > $(q "$dir/$tag.uconv")")
  group+=("cat" "cat $(q "$input") > $(q "$dir/$tag.cat")")
  alternate_group "$title" "$(stat -c %s "$input")" "${group[@]}"
}
unicode_group "UTF-8 to Shift_JIS, LF line ends" u2s "$uni_utf8" sjis UTF-8 CP932
unicode_group "Shift_JIS to UTF-8, LF line ends" s2u "$uni_sjis" utf8 CP932 UTF-8

# The outputs must agree, or the timings compare different work.
echo
status=0
if [[ -n $cli ]]; then
  if cmp -s "$dir/out.tavvel" "$dir/out.cat"; then
    echo "binary: tavvel-cli output equals cat's"
  else
    echo "binary: tavvel-cli output DIFFERS from cat's" >&2
    status=1
  fi
  for peer in iconv uconv nkf; do
    [[ -f $dir/text.$peer ]] || continue
    if cmp -s "$dir/text.tavvel" "$dir/text.$peer"; then
      echo "text: tavvel-cli output equals $peer's"
    else
      echo "text: tavvel-cli output DIFFERS from $peer's" >&2
      status=1
    fi
  done
  for join in u2s s2u; do
    [[ -f $dir/$join.iconv ]] || continue
    if cmp -s "$dir/$join.tavvel" "$dir/$join.iconv"; then
      echo "$join: tavvel-cli output equals iconv's"
    else
      echo "$join: tavvel-cli output DIFFERS from iconv's" >&2
      status=1
    fi
  done
fi
exit "$status"
