#!/usr/bin/env bash
# The engine and the program side by side with curl and zlib, on loopback HTTPS against the demo
# services. Builds the benchmark driver, the demo services and the program in Release (-O2) into
# build-bench, then measures, alternating each pair and taking medians:
#   download  a fresh download of the release by the engine (headless, as the program runs it)
#             against curl fetching the same files one by one from the same server, in wall-clock
#             time and in CPU time; then a second engine run on the complete folder against one
#             pass of zlib's crc32 over the files;
#   small     the same download pair for a release of many small files, with curl making the
#             engine's requests over a fresh connection each as a third side;
#   crc       CRC::Compute and the 128-bit carry-less kernel against zlib's crc32;
#   memory    the engine's peak resident memory in the download runs and for a release made of
#             one large setup file, downloaded and then checked;
#   program   the real program under Xvfb (software drawing): its CPU time on the progress
#             screen while the storage sends 2 MB/s, and its peak resident memory through a
#             whole download of the large release.
#   windows   the Windows engine under wine (the Windows build of the driver, as the program runs
#             it) against the plainest WinINet download of the same file in the same prefix.
#   release   the size of the Windows artefact scripts/release.sh writes (dist/, at most 3 MiB).
# Prints one "name value" line per figure at the end, each ratio with its spread over the rounds
# (the lowest and the highest round), and writes them, with the machine (the processor's model
# name and features) and its load, into bench/results.txt. The 1-minute load average is printed
# at the start: the figures need a quiet machine (below 0.5). Not part of scripts/test.sh.
#
# Usage: bench/run.sh [options]
#   --size SIZE          release of the download pair (default 1G; K, M or G suffix)
#   --files N            files in it, the setup included (default 8)
#   --small-size SIZE    release of the small-files pair (default 8M)
#   --small-files N      files in it, the setup included (default 26)
#   --rounds N           rounds of each pair (default 5; fewer are not comparable to the targets)
#   --big-size SIZE      the one setup file of the memory runs (default 1G; below 2G)
#   --crc-size SIZE      buffer of the CRC comparison (default 64M)
#   --ui-seconds N       length of each of the five CPU windows on the progress screen (default 10)
#   --windows-size SIZE  the one file of the Windows pair (default 192M)
#   --only LIST          only these parts, comma-separated: download, small, crc, memory, program,
#                        windows, release
#   --keep               keep bench/work (the downloaded files) afterwards
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="$root/bench"
work="$bench/work"
build="${NORVIA_BENCH_BUILD_DIR:-$root/build-bench}"

to_bytes() {  # 1G, 512M, 64K or plain bytes
  local text="$1" unit=1
  case "$text" in
    *[Gg]) unit=$((1 << 30)); text="${text%?}" ;;
    *[Mm]) unit=$((1 << 20)); text="${text%?}" ;;
    *[Kk]) unit=$((1 << 10)); text="${text%?}" ;;
  esac
  case "$text" in ''|*[!0-9]*) echo "run.sh: not a size: $1" >&2; exit 2 ;; esac
  echo $((text * unit))
}

size=$(to_bytes 1G) files=8 small_size=$(to_bytes 8M) small_files=26 rounds=5 big_size=$(to_bytes 1G)
crc_size=$(to_bytes 64M) ui_seconds=10 only="download,small,crc,memory,program,windows,release" keep=""
windows_size=$(to_bytes 192M)
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$(to_bytes "$2"); shift ;;
    --files) files="$2"; shift ;;
    --small-size) small_size=$(to_bytes "$2"); shift ;;
    --small-files) small_files="$2"; shift ;;
    --rounds) rounds="$2"; shift ;;
    --big-size) big_size=$(to_bytes "$2"); shift ;;
    --crc-size) crc_size=$(to_bytes "$2"); shift ;;
    --windows-size) windows_size=$(to_bytes "$2"); shift ;;
    --ui-seconds) ui_seconds="$2"; shift ;;
    --only) only="$2"; shift ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
for number in "$files" "$small_files" "$rounds" "$ui_seconds"; do
  case "$number" in
    ''|*[!0-9]*|0) echo "run.sh: --files, --small-files, --rounds and --ui-seconds need whole numbers above 0" >&2; exit 2 ;;
  esac
done
for part in ${only//,/ }; do
  case "$part" in download|small|crc|memory|program|release) ;; *) echo "run.sh: unknown part $part (see --help)" >&2; exit 2 ;; esac
done
wanted() { [[ ",$only," == *",$1,"* ]]; }
file_size=$((size / files))
small_file_size=$((small_size / small_files))
if [ "$file_size" -lt 1024 ] || [ "$file_size" -ge $((1 << 31)) ] || [ "$small_file_size" -lt 1024 ] ||
   [ "$big_size" -ge $((1 << 31)) ]; then
  echo "run.sh: files must be between 1 KiB and 2 GiB (the file list counts in 32 bits)" >&2
  exit 2
fi

say() { printf '== %s\n' "$*" >&2; }
load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
say "Load average (1, 5, 15 min) at the start: $load_start (the figures need a 1-minute load below 0.5)"
[ "$rounds" -ge 5 ] || say "Only $rounds rounds: medians of fewer than 5 rounds are not comparable to the targets"
"$root/scripts/install-deps.sh"
for tool in curl cmake /usr/bin/time Xvfb xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# --- room on disk: the storage copy, the engine's copy and curl's copy, then the big release twice
mkdir -p "$work"
needed=$((3 * size + 3 * small_size + 2 * big_size + 4 * windows_size + (256 << 20)))
available=$(df -B1 --output=avail "$work" | tail -n 1 | tr -d ' ')
if [ "$available" -lt "$needed" ]; then
  echo "run.sh: $((needed >> 20)) MiB needed in $work, $((available >> 20)) MiB free" >&2
  exit 1
fi

services_pid="" xvfb_pid="" gui_pid=""
stop_pid() {  # pid: TERM, then KILL after 5 s
  local pid="$1"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
stop_services() { stop_pid "$services_pid"; services_pid=""; }
cleanup() {
  stop_pid "$gui_pid"
  stop_services
  stop_pid "$xvfb_pid"
  if [ -z "$keep" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- build -----------------------------------------------------------------------------------
say "Building the driver, the demo services and the program in Release (-O2) into $build"
{
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DNORVIA_BUILD_BENCH=ON -DNORVIA_BUILD_TESTS=OFF &&
    cmake --build "$build" -j2 --target norvia_bench_driver norvia_demo_services NorviaDownloadManager
} >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; echo "run.sh: the build failed" >&2; exit 1; }
driver="$build/norvia_bench_driver"
services="$build/norvia_demo_services"
program_binary="$build/NorviaDownloadManager"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

# --- helpers ---------------------------------------------------------------------------------
# The desktop's opener, recorded instead of run.
mkdir -p "$work/bin" "$work/data"
launches="$work/launches.txt"
printf '#!/bin/sh\nprintf "%%s\\t%%s\\n" "$(pwd -P)" "$*" >> "%s"\n' "$launches" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

start_services() {  # folder release data_files file_size setup_size [rate]
  local dir="$1"
  rm -f "$dir/ready.env"
  mkdir -p "$dir"
  "$services" --dir "$dir" --ready-file "$dir/ready.env" --release "$2" --files "$3" --file-size "$4" \
    --setup-size "$5" --rate "${6:-0}" --max-seconds 14400 ${services_extra[@]+"${services_extra[@]}"} \
    >"$dir/services.out" 2>&1 &
  services_pid=$!
  for _ in $(seq 1 1200); do
    [ -f "$dir/ready.env" ] && break
    kill -0 "$services_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$dir/ready.env" ] || { cat "$dir/services.out" >&2; echo "run.sh: the demo services did not start" >&2; exit 1; }
  # shellcheck disable=SC1091
  . "$dir/ready.env"
  # The engine's surroundings: these services, their CA, the recording opener.
  engine_env=(env NORVIA_SERVICE_HOST="$NORVIA_SERVICE_HOST" NORVIA_CONTENT_HOST="$NORVIA_CONTENT_HOST"
              NORVIA_SUPPORT_HOST="$NORVIA_SUPPORT_HOST" SSL_CERT_FILE="$NORVIA_DEMO_CA_FILE"
              PATH="$work/bin:$PATH" XDG_DATA_HOME="$work/data")
}

# Runs a command under /usr/bin/time; sets elapsed (seconds, wall clock), cpu (user + system
# seconds) and rss_kib. The command's output goes to the log file given first.
timed() {
  local log="$1" start end
  shift
  sync
  start=$EPOCHREALTIME
  if ! /usr/bin/time -f '%M %U %S' -o "$work/rss" "$@" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "run.sh: failed: $*  (log: $log)" >&2
    exit 1
  fi
  end=$EPOCHREALTIME
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
  read -r rss_kib user_s system_s < <(tail -n 1 "$work/rss")
  cpu=$(awk -v u="$user_s" -v s="$system_s" 'BEGIN { printf "%.2f", u + s }')
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# "lowest highest" of the values given.
lowest_highest() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { low = $1 } { high = $1 } END { print low, high }'; }
# "lowest highest" of the rounds' own ratios: the arrays named $1 and $2 hold one value per round.
round_ratios() {
  local -n numerators="$1" denominators="$2"
  local i ratios=()
  for i in "${!numerators[@]}"; do ratios+=("$(ratio "${numerators[$i]}" "${denominators[$i]}")"); done
  lowest_highest "${ratios[@]}"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mib_s() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / 1048576 / s }'; }

local_name() {  # storage name -> the program's local name
  local name="$1" cut=7
  case "$name" in *.exe*) cut=4 ;; esac
  [ "${#name}" -gt "$cut" ] || { echo "${NORVIA_DEMO_PRODUCT_CODE}_$name"; return; }
  echo "${name:0:$((${#name} - cut))}_${NORVIA_DEMO_PRODUCT_CODE}${name: -$cut}"
}

storage_gets() { grep -c ' GET .*/Setup' "$NORVIA_DEMO_REQUEST_LOG" || true; }

expect_setup_launched() {  # folder
  local setup
  setup="$1/$(local_name Setup.exe)"
  for _ in $(seq 1 50); do
    grep -qF "$setup" "$launches" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "run.sh: the run did not launch $setup" >&2
  exit 1
}

expect_release_in() {  # folder
  "$services" verify --list "$NORVIA_DEMO_FILE_LIST" --folder "$1" --product-code "$NORVIA_DEMO_PRODUCT_CODE" \
    >"$work/verify.out" 2>&1 || { cat "$work/verify.out" >&2; echo "run.sh: wrong files in $1" >&2; exit 1; }
}

engine_rss=()
engine_run() {  # label program_path; one whole run, checked
  local folder
  folder="$(dirname "$2")"
  : >"$launches"
  timed "$work/$1.log" "${engine_env[@]}" "$driver" run "$2"
  engine_rss+=("$rss_kib")
  expect_setup_launched "$folder"
}

# Round 0 warms the machine up and is not counted: the first downloads after a release was
# generated and the first requests to fresh services ran up to twice as long as the rest.
counted() { [ "$round" -gt 0 ]; }

# Serves a release of $3 files of $4 bytes (the setup included) as $2 and alternates the engine's
# fresh download of it with curl's, $rounds counted rounds. Sets curl_args and engine_files for
# the verification pair and fills the arrays named <prefix>_engine, <prefix>_curl,
# <prefix>_engine_cpu and <prefix>_curl_cpu. With $5 = verify, each round also runs the engine on
# the complete folder against zlib's crc32 over the same files (verify_engine, verify_zlib). With
# $5 = fresh, each round also times curl making the engine's requests over a fresh connection
# each, for reference (<prefix>_fresh): the file list five times (standing in for
# the description request and the four reads of the list) and every file, with "Connection:
# close", so that the server closes every connection after its answer; curl resumes its TLS
# session on each new one, as the engine does on a new connection), and how long a new thread waits before it runs
# (<prefix>_thread_start, microseconds).
download_pair() {  # prefix release files file_size [verify|fresh]
  local prefix="$1" release="$2" count="$3" each="$4" with_verify="" with_fresh=""
  [ "${5:-}" = verify ] && with_verify=1
  [ "${5:-}" = fresh ] && with_fresh=1
  say "Generating a release of $count files, $((each >> 10)) KiB each, and serving it"
  start_services "$work/services-$prefix" "$release" $((count - 1)) "$each" "$each"
  program="$work/engine/${release}_Download"
  rm -rf "$work/engine" "$work/curl"
  mkdir -p "$work/engine" "$work/curl"
  # The error log echoes every record to standard output: keep only the driver's answer.
  "${engine_env[@]}" "$driver" describe "$program" >"$work/describe.log" 2>&1 ||
    { cat "$work/describe.log" >&2; echo "run.sh: the description request failed" >&2; exit 1; }
  grep '^BENCH_STORAGE_' "$work/describe.log" >"$work/storage.env"
  # shellcheck disable=SC1091
  . "$work/storage.env"
  mapfile -t names < <(tr -d '\r' <"$NORVIA_DEMO_FILE_LIST" | sed -n 's/^;//p')
  curl_args=(--silent --show-error --fail --cacert "$NORVIA_DEMO_CA_FILE")
  engine_files=()
  for name in "${names[@]}"; do
    curl_args+=(-o "$work/curl/$(local_name "$name")" "${BENCH_STORAGE_PREFIX}${name}${BENCH_STORAGE_QUERY}")
    engine_files+=("$work/engine/$(local_name "$name")")
  done
  local list="${BENCH_STORAGE_PREFIX}$(basename "$NORVIA_DEMO_FILE_LIST")${BENCH_STORAGE_QUERY}"
  local fresh_args=("${curl_args[@]:0:5}" -H "Connection: close")
  for _ in 1 2 3; do fresh_args+=(-o /dev/null "$list"); done
  fresh_args+=("${curl_args[@]:5}" -o /dev/null "$list" -o /dev/null "$list")
  local -n engine_times="${prefix}_engine" curl_times="${prefix}_curl"
  local -n engine_cpus="${prefix}_engine_cpu" curl_cpus="${prefix}_curl_cpu"
  local contenders=(engine curl)
  [ -z "$with_fresh" ] || { contenders+=(fresh); local -n fresh_times="${prefix}_fresh" fresh_cpus="${prefix}_fresh_cpu"; }
  local turn
  for round in $(seq 0 "$rounds"); do
    if counted; then say "$prefix: round $round of $rounds"; else say "$prefix: warm-up round (not counted)"; fi
    # Who goes first changes every round, so that drift in the machine's state favours none.
    for turn in $(seq 0 $((${#contenders[@]} - 1))); do
      who=${contenders[$(((turn + round) % ${#contenders[@]}))]}
      if [ "$who" = fresh ]; then
        rm -f "$work/curl/"*
        timed "$work/$prefix-fresh-$round.log" curl "${fresh_args[@]}"
        counted && { fresh_times+=("$elapsed"); fresh_cpus+=("$cpu"); }
        expect_release_in "$work/curl"
      elif [ "$who" = engine ]; then
        rm -f "$work/engine/"*
        engine_run "$prefix-download-$round" "$program"
        counted && { engine_times+=("$elapsed"); engine_cpus+=("$cpu"); }
        expect_release_in "$work/engine"
      else
        rm -f "$work/curl/"*
        timed "$work/$prefix-curl-$round.log" curl "${curl_args[@]}"
        counted && { curl_times+=("$elapsed"); curl_cpus+=("$cpu"); }
        expect_release_in "$work/curl"
      fi
    done
    if [ -n "$with_fresh" ] && counted; then
      local -n thread_starts="${prefix}_thread_start"
      thread_starts+=("$("$driver" thread-start 50 | awk '$1 == "thread_start_median_us" { print $2 }')")
    fi
    [ -n "$with_verify" ] || continue
    for who in engine zlib; do
      [ $((round % 2)) -eq 0 ] && who=$([ "$who" = engine ] && echo zlib || echo engine)
      if [ "$who" = engine ]; then
        gets=$(storage_gets)
        engine_run "verify-$round" "$program"
        counted && verify_engine+=("$elapsed")
        [ "$(storage_gets)" = "$gets" ] || { echo "run.sh: the run on the complete folder downloaded" >&2; exit 1; }
      else
        timed "$work/zlib-$round.log" "$driver" zlib-files 262144 "${engine_files[@]}"
        counted && verify_zlib+=("$elapsed")
      fi
    done
  done
  stop_services
  rm -rf "$work/engine" "$work/curl" "$work/services-$prefix/storage"
}

# --- the program under Xvfb ------------------------------------------------------------------
display=""
start_display() {
  [ -z "$display" ] || return 0
  for n in $(seq 120 180); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then display=":$n"; return 0; fi
    stop_pid "$xvfb_pid"; xvfb_pid=""
  done
  echo "run.sh: no Xvfb display could be started" >&2
  exit 1
}

# Places the program in a fresh folder under the release's name; sets gui_program.
place_program() {  # folder release
  rm -rf "$1"
  mkdir -p "$1"
  gui_program="$1/${2}_Download"
  cp "$program_binary" "$gui_program"
  gui_env=("${engine_env[@]}" DISPLAY="$display" LIBGL_ALWAYS_SOFTWARE=1)
}

window_width() {  # pid: of that program's window; empty while it has none
  local window
  # By process as well as by name: a program that just ended may still have its window listed
  # for a moment, under the same name.
  window="$(DISPLAY="$display" xdotool search --all --pid "$1" --name "Norvia Download Manager" 2>/dev/null |
    head -n 1)"
  [ -n "$window" ] || return 0
  DISPLAY="$display" xdotool getwindowgeometry --shell "$window" 2>/dev/null | sed -n 's/^WIDTH=//p'
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# --- the parts -------------------------------------------------------------------------------
download_engine=() download_curl=() download_engine_cpu=() download_curl_cpu=() verify_engine=() verify_zlib=()
small_engine=() small_curl=() small_engine_cpu=() small_curl_cpu=() small_fresh=() small_fresh_cpu=() small_thread_start=()
wanted download && download_pair download Norvia_3_2_Home "$files" "$file_size" verify
wanted small && download_pair small Norvia_3_2_Home "$small_files" "$small_file_size" fresh

if wanted crc; then
  say "CRC::Compute and the 128-bit kernel against zlib's crc32 on $((crc_size >> 20)) MiB in 256 KiB pieces"
  "$driver" crc-speed "$crc_size" $((rounds < 5 ? 15 : 3 * rounds)) >"$work/crc.log" 2>&1 ||
    { cat "$work/crc.log" >&2; echo "run.sh: the CRC comparison failed" >&2; exit 1; }
fi

big_release="Norvia_3_3_Large"
big_download_seconds="" big_verify_seconds="" big_rss=()
if wanted memory || wanted program; then
  start_services "$work/services-big" "$big_release" 0 1024 "$big_size"
fi
if wanted memory; then
  say "Memory: a release of one $((big_size >> 20)) MiB setup file, downloaded and then checked"
  big_program="$work/big/${big_release}_Download"
  rm -rf "$work/big"
  mkdir -p "$work/big"
  engine_run big-download "$big_program"
  big_download_seconds=$elapsed big_rss+=("$rss_kib")
  expect_release_in "$work/big"
  engine_run big-verify "$big_program"
  big_verify_seconds=$elapsed big_rss+=("$rss_kib")
  rm -rf "$work/big"
fi

gui_peak_kib="" gui_seconds=""
if wanted program; then
  start_display
  say "The program under Xvfb: a whole download of the $((big_size >> 20)) MiB release"
  place_program "$work/gui" "$big_release"
  : >"$launches"
  # Its peak resident set is what /usr/bin/time reports for it (the kernel's VmHWM at its end).
  timed "$work/gui-download.log" "${gui_env[@]}" "$gui_program"
  gui_peak_kib=$rss_kib gui_seconds=$elapsed
  expect_setup_launched "$work/gui"
  expect_release_in "$work/gui"
  rm -rf "$work/gui"
  stop_services
fi
rm -rf "$work/services-big/storage"

ui_windows=() ui_window_count=5
if wanted program; then
  # Long enough at 2 MB/s for the fade-in and three windows of --ui-seconds.
  rate=2000000
  ui_release_size=$(((ui_window_count * ui_seconds + 20) * rate))
  start_services "$work/services-ui" Norvia_3_2_Home 3 $((ui_release_size / 4)) $((ui_release_size / 4)) "$rate"
  say "The program under Xvfb on its progress screen while the storage sends $rate bytes a second"
  place_program "$work/ui" Norvia_3_2_Home
  (cd "$work/ui" && exec env "${gui_env[@]}" "$gui_program") >"$work/ui-program.log" 2>&1 &
  gui_pid=$!
  # The window is made 1200 wide before the splash makes it small, so its width alone does not
  # tell the progress screen: the download must have begun too (the same frame resizes it).
  progress_shown() { [ "$(storage_gets)" -gt 0 ] && [ "$(window_width "$gui_pid")" = 1200 ]; }
  for _ in $(seq 1 900); do
    progress_shown && break
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! progress_shown; then
    tail -n 20 "$work/ui-program.log" >&2
    if kill -0 "$gui_pid" 2>/dev/null; then
      echo "run.sh: the progress screen did not show within 90 s" >&2
    else
      status=0
      wait "$gui_pid" || status=$?
      gui_pid=""
      echo "run.sh: the program ended with status $status before its progress screen showed" >&2
    fi
    exit 1
  fi
  sleep 4  # the screen's fade-in
  ticks_per_second=$(getconf CLK_TCK)
  for _ in $(seq 1 "$ui_window_count"); do
    before=$(cpu_ticks "$gui_pid") start=$EPOCHREALTIME
    sleep "$ui_seconds"
    after=$(cpu_ticks "$gui_pid") end=$EPOCHREALTIME
    ui_windows+=("$(awk -v t=$((after - before)) -v hz="$ticks_per_second" -v a="$start" -v b="$end" \
      'BEGIN { printf "%.1f", 100 * t / hz / (b - a) }')")
  done
  [ "$(window_width "$gui_pid")" = 1200 ] || { echo "run.sh: the download ended before the CPU was measured" >&2; exit 1; }
  stop_pid "$gui_pid"; gui_pid=""
  stop_services
  rm -rf "$work/ui" "$work/services-ui/storage"
fi

# --- the Windows engine under wine (bench/windows-pair.sh) -----------------------------------
# shellcheck source=bench/windows-pair.sh
. "$bench/windows-pair.sh"
wanted windows && windows_download_vs_wininet
load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

# --- figures ---------------------------------------------------------------------------------
crc_value() { awk -v k="$1" '$1 == k { sub(/^[^ ]+ /, ""); print }' "$work/crc.log"; }
figures="" details=""
# name value [lowest highest]: the spread over the rounds, where the figure has rounds.
figure() {
  local line="$1 $2"
  [ $# -lt 4 ] || line+=" (rounds $3 to $4)"
  figures+="$line"$'\n'
}
detail() { details+="$1"$'\n'; }

cpu_flags="$(grep -m 1 '^flags' /proc/cpuinfo | tr ' ' '\n' | grep -xE 'sse4_2|avx|avx2|avx512f|avx512vl|pclmulqdq|vpclmulqdq|vaes|hypervisor' | tr '\n' ' ')"
cpu_model="$(grep -m 1 '^model name' /proc/cpuinfo | sed 's/^[^:]*: *//')"
detail "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
detail "processor: ${cpu_model:-unknown} (family $(grep -m 1 '^cpu family' /proc/cpuinfo | sed 's/^[^:]*: *//'), model $(grep -m 1 '^model[[:space:]]*:' /proc/cpuinfo | sed 's/^[^:]*: *//'))"
detail "machine: $(nproc) cores ($(grep -m 1 '^cpu MHz' /proc/cpuinfo | awk '{ printf "%.0f MHz", $4 }'), features ${cpu_flags% }), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM, Linux $(uname -r), $(df --output=fstype "$bench" | tail -n 1) disk"
detail "load (1, 5, 15 min): $load_start at the start, $load_before before measuring (after the build), $load_after after"
detail "tools: $(curl --version | head -n 1 | cut -d' ' -f1-2), zlib $("$driver" crc-speed 1024 1 | awk '$1 == "crc_zlib_version" { print $2 }')"
if wanted download; then
  de=$(median "${download_engine[@]}") dc=$(median "${download_curl[@]}")
  detail "download: $files files of $((file_size >> 20)) MiB, $rounds rounds; engine $de s ($(mib_s "$size" "$de") MiB/s, CPU $(median "${download_engine_cpu[@]}") s), curl $dc s ($(mib_s "$size" "$dc") MiB/s, CPU $(median "${download_curl_cpu[@]}") s)"
  detail "verification: engine $(median "${verify_engine[@]}") s, zlib $(median "${verify_zlib[@]}") s"
  detail "every round (s): engine download ${download_engine[*]}; curl ${download_curl[*]}; engine CPU ${download_engine_cpu[*]}; curl CPU ${download_curl_cpu[*]}; engine verification ${verify_engine[*]}; zlib ${verify_zlib[*]}"
  figure download_vs_curl "$(ratio "$de" "$dc")" $(round_ratios download_engine download_curl)
  figure verify_vs_zlib "$(ratio "$(median "${verify_engine[@]}")" "$(median "${verify_zlib[@]}")")" $(round_ratios verify_engine verify_zlib)
  figure engine_cpu_vs_curl "$(ratio "$(median "${download_engine_cpu[@]}")" "$(median "${download_curl_cpu[@]}")")" $(round_ratios download_engine_cpu download_curl_cpu)
fi
if wanted small; then
  sc=$(median "${small_curl[@]}") sf=$(median "${small_fresh[@]}")
  detail "small files: $small_files files of $((small_file_size >> 10)) KiB; engine $(median "${small_engine[@]}") s (CPU $(median "${small_engine_cpu[@]}") s), curl $sc s (CPU $(median "${small_curl_cpu[@]}") s), curl making the engine's $((small_files + 5)) requests on fresh connections $sf s (CPU $(median "${small_fresh_cpu[@]}") s, $(ratio "$sf" "$sc") x curl); a new thread waited $(median "${small_thread_start[@]}") us before it ran (median of the rounds' medians); every round (s): engine ${small_engine[*]}; curl ${small_curl[*]}; curl fresh ${small_fresh[*]}"
  figure small_files_vs_curl "$(ratio "$(median "${small_engine[@]}")" "$sc")" $(round_ratios small_engine small_curl)
  figure small_fresh_curl_vs_curl "$(ratio "$sf" "$sc")" $(round_ratios small_fresh small_curl)
fi
if wanted crc; then
  detail "CRC-32 in 256 KiB pieces of a $((crc_size >> 20)) MiB buffer: CRC::Compute ($(crc_value crc_method)) $(crc_value crc_compute_mib_s) MiB/s, 128-bit kernel $(crc_value crc_clmul128_mib_s) MiB/s, zlib $(crc_value crc_zlib_mib_s) MiB/s"
  figure crc_vs_zlib "$(crc_value crc_vs_zlib)" $(crc_value crc_vs_zlib_rounds)
  [ -z "$(crc_value crc_clmul128_vs_zlib)" ] ||
    figure crc_clmul128_vs_zlib "$(crc_value crc_clmul128_vs_zlib)" $(crc_value crc_clmul128_vs_zlib_rounds)
fi
if wanted memory || wanted download || wanted small; then
  all_rss=("${engine_rss[@]}")
  detail "peak RSS per engine run (KiB): ${all_rss[*]}"
  [ -z "$big_download_seconds" ] || detail "large file ($((big_size >> 20)) MiB): download $big_download_seconds s, check $big_verify_seconds s"
  peak_kib=$(printf '%s\n' "${all_rss[@]}" | sort -n | tail -n 1)
  read -r lowest_kib _ < <(lowest_highest "${all_rss[@]}")
  figure peak_rss_mib $(((peak_kib + 1023) / 1024)) $(((lowest_kib + 1023) / 1024)) $(((peak_kib + 1023) / 1024))
fi
if wanted program; then
  detail "program: whole download of $((big_size >> 20)) MiB under Xvfb in $gui_seconds s, peak RSS $gui_peak_kib KiB; CPU on the progress screen at 2 MB/s, % of one core per ${ui_seconds} s window: ${ui_windows[*]}"
  figure ui_cpu_percent "$(median "${ui_windows[@]}")" $(lowest_highest "${ui_windows[@]}")
  figure gui_peak_rss_mib $(((gui_peak_kib + 1023) / 1024))
fi
if wanted windows; then
  we=$(median "${windows_engine[@]}") ww=$(median "${windows_wininet[@]}")
  detail "windows under wine: one file of $((windows_size >> 20)) MiB, $rounds rounds; engine $we s ($(mib_s "$windows_size" "$we") MiB/s), plain WinINet $ww s ($(mib_s "$windows_size" "$ww") MiB/s); every round (s): engine ${windows_engine[*]}; WinINet ${windows_wininet[*]}"
  figure windows_download_vs_wininet "$(ratio "$we" "$ww")" $(round_ratios windows_engine windows_wininet)
fi
if wanted release; then
  mkdir -p "$work"
  "$root/scripts/release.sh" >"$work/release.log" 2>&1 ||
    { tail -n 20 "$work/release.log" >&2; echo "run.sh: scripts/release.sh failed" >&2; exit 1; }
  figure exe_size_mib "$(stat -c %s "$root/dist/NorviaDownloadManager.exe" | awk '{ printf "%.2f", $1 / 1048576 }')"
fi
details="${details%$'\n'}" figures="${figures%$'\n'}"
{
  echo "# bench/run.sh $(printf '%q ' --size "$size" --files "$files" --small-size "$small_size" --small-files "$small_files" --rounds "$rounds" --big-size "$big_size" --ui-seconds "$ui_seconds" --only "$only")"
  echo "$details"
  echo
  echo "$figures"
} >"$bench/results.txt"
echo "$details" >&2
echo "$figures"
