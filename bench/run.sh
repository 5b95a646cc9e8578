#!/usr/bin/env bash
# The engine side by side with curl and zlib, on loopback HTTPS against the demo services.
# Builds the benchmark driver in Release (-O2) into build-bench, then measures, alternating each
# pair and taking medians:
#   1. a fresh download of the release by the engine (headless, as the program runs it) against
#      curl fetching the same files one by one from the same server;
#   2. a second engine run on the complete folder against one pass of zlib's crc32 over the files;
#   3. CRC::Compute against zlib's crc32 on one buffer;
#   4. the engine's peak resident memory in runs 1 and 2, and in both again for a release made
#      of one large setup file.
# Prints one "name value" line per figure at the end and writes them, with the machine, into
# bench/results.txt. Not part of scripts/test.sh.
#
# Usage: bench/run.sh [options]
#   --size SIZE       release of runs 1 and 2 (default 1G; K, M or G suffix)
#   --files N         files in it, the setup included (default 8)
#   --rounds N        rounds of each pair (default 5)
#   --big-size SIZE   the one setup file of the memory runs (default 1G; below 2G)
#   --crc-size SIZE   buffer of the CRC comparison (default 64M)
#   --keep            keep bench/work (the downloaded files) afterwards
#   --proposal PATCH  also time, in the same alternation, an engine built with PATCH applied to
#                     HEAD (for example bench/proposals/early-wakeup.patch) and print
#                     download_vs_curl_with_proposal; the four figures stay those of HEAD's engine
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

size=$(to_bytes 1G) files=8 rounds=5 big_size=$(to_bytes 1G) crc_size=$(to_bytes 64M) keep="" proposal=""
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$(to_bytes "$2"); shift ;;
    --files) files="$2"; shift ;;
    --rounds) rounds="$2"; shift ;;
    --big-size) big_size=$(to_bytes "$2"); shift ;;
    --crc-size) crc_size=$(to_bytes "$2"); shift ;;
    --keep) keep=1 ;;
    --proposal) proposal="$(realpath "$2")"; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
for number in "$files" "$rounds"; do
  case "$number" in ''|*[!0-9]*|0) echo "run.sh: --files and --rounds need whole numbers above 0" >&2; exit 2 ;; esac
done
file_size=$((size / files))
if [ "$file_size" -lt 1024 ] || [ "$file_size" -ge $((1 << 31)) ] || [ "$big_size" -ge $((1 << 31)) ]; then
  echo "run.sh: files must be between 1 KiB and 2 GiB (the file list counts in 32 bits)" >&2
  exit 2
fi

say() { printf '== %s\n' "$*" >&2; }
"$root/scripts/install-deps.sh"
for tool in curl cmake /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# --- room on disk: the storage copy, the engine's copy and curl's copy, then the big release twice
mkdir -p "$work"
needed=$((3 * size + 2 * big_size + (256 << 20)))
available=$(df -B1 --output=avail "$work" | tail -n 1 | tr -d ' ')
if [ "$available" -lt "$needed" ]; then
  echo "run.sh: $((needed >> 20)) MiB needed in $work, $((available >> 20)) MiB free" >&2
  exit 1
fi

services_pid=""
stop_services() {
  [ -n "$services_pid" ] || return 0
  kill -TERM "$services_pid" 2>/dev/null || true
  wait "$services_pid" 2>/dev/null || true
  services_pid=""
}
cleanup() {
  stop_services
  if [ -z "$keep" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- build -----------------------------------------------------------------------------------
say "Building the driver and the demo services in Release (-O2) into $build"
{
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DNORVIA_BUILD_BENCH=ON -DNORVIA_BUILD_TESTS=OFF &&
    cmake --build "$build" -j2 --target norvia_bench_driver norvia_demo_services
} >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; echo "run.sh: the build failed" >&2; exit 1; }
driver="$build/norvia_bench_driver"
services="$build/norvia_demo_services"
proposal_driver=""
if [ -n "$proposal" ]; then
  # HEAD's sources with the patch, built beside the plain driver with the same flags.
  say "Building the driver with $(basename "$proposal") applied into $build-proposal"
  rm -rf "$work/proposal-src"
  mkdir -p "$work/proposal-src"
  {
    git -C "$root" archive HEAD | tar -x -C "$work/proposal-src" &&
      # Inside this repository's tree git would apply only the paths below the folder (none):
      # the ceiling makes the extracted tree a plain folder to it.
      (cd "$work/proposal-src" && GIT_CEILING_DIRECTORIES="$work" git apply "$proposal") &&
      cmake -S "$work/proposal-src" -B "$build-proposal" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DNORVIA_BUILD_BENCH=ON -DNORVIA_BUILD_TESTS=OFF &&
      cmake --build "$build-proposal" -j2 --target norvia_bench_driver
  } >"$work/build-proposal.log" 2>&1 ||
    { tail -n 30 "$work/build-proposal.log" >&2; echo "run.sh: the proposal did not apply or build" >&2; exit 1; }
  proposal_driver="$build-proposal/norvia_bench_driver"
fi
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

# --- helpers ---------------------------------------------------------------------------------
# The desktop's opener, recorded instead of run.
mkdir -p "$work/bin"
launches="$work/launches.txt"
printf '#!/bin/sh\nprintf "%%s\\t%%s\\n" "$(pwd -P)" "$*" >> "%s"\n' "$launches" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

start_services() {  # folder release data_files file_size setup_size
  local dir="$1"
  rm -f "$dir/ready.env"
  mkdir -p "$dir"
  "$services" --dir "$dir" --ready-file "$dir/ready.env" --release "$2" --files "$3" --file-size "$4" \
    --setup-size "$5" --rate 0 --max-seconds 14400 >"$dir/services.out" 2>&1 &
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


# Runs a command under /usr/bin/time; sets elapsed (seconds, wall clock) and rss_kib. The
# command's output goes to the log file given first.
timed() {
  local log="$1" start end
  shift
  sync
  start=$EPOCHREALTIME
  if ! /usr/bin/time -f '%M' -o "$work/rss" "$@" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "run.sh: failed: $*  (log: $log)" >&2
    exit 1
  fi
  end=$EPOCHREALTIME
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
  rss_kib=$(tail -n 1 "$work/rss")
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

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
  echo "run.sh: the engine run did not launch $setup" >&2
  exit 1
}

expect_release_in() {  # folder
  "$services" verify --list "$NORVIA_DEMO_FILE_LIST" --folder "$1" --product-code "$NORVIA_DEMO_PRODUCT_CODE" \
    >"$work/verify.out" 2>&1 || { cat "$work/verify.out" >&2; echo "run.sh: wrong files in $1" >&2; exit 1; }
}

engine_rss=()
engine_run() {  # label program_path [driver]; one whole run, checked
  local folder
  folder="$(dirname "$2")"
  : >"$launches"
  timed "$work/$1.log" "${engine_env[@]}" "${3:-$driver}" run "$2"
  engine_rss+=("$rss_kib")
  expect_setup_launched "$folder"
}

# --- runs 1 and 2 ----------------------------------------------------------------------------
release="Norvia_3_2_Home"
say "Generating a release of $files files, $((file_size >> 20)) MiB each, and serving it"
start_services "$work/services" "$release" $((files - 1)) "$file_size" "$file_size"
program="$work/engine/${release}_Download"
mkdir -p "$work/engine" "$work/curl" "$work/data"
# The error log echoes every record to standard output: keep only the driver's answer.
"${engine_env[@]}" "$driver" describe "$program" >"$work/describe.log" 2>&1 ||
  { cat "$work/describe.log" >&2; echo "run.sh: the description request failed" >&2; exit 1; }
grep '^BENCH_STORAGE_' "$work/describe.log" >"$work/storage.env"
# shellcheck disable=SC1091
. "$work/storage.env"
mapfile -t names < <(tr -d '\r' <"$NORVIA_DEMO_FILE_LIST" | sed -n 's/^;//p')
curl_args=(--silent --show-error --fail --cacert "$NORVIA_DEMO_CA_FILE")
for name in "${names[@]}"; do
  curl_args+=(-o "$work/curl/$(local_name "$name")" "${BENCH_STORAGE_PREFIX}${name}${BENCH_STORAGE_QUERY}")
done
engine_files=()
for name in "${names[@]}"; do engine_files+=("$work/engine/$(local_name "$name")"); done

download_engine=() download_curl=() download_proposal=() verify_engine=() verify_zlib=()
contenders=(engine curl)
[ -z "$proposal_driver" ] || contenders+=(proposal)
# Round 0 warms the machine up and is not counted: the first downloads after the release was
# generated and the first requests to fresh services ran up to twice as long as the rest.
counted() { [ "$round" -gt 0 ]; }
for round in $(seq 0 "$rounds"); do
  if counted; then
    say "Round $round of $rounds: download (engine, curl), then verification (engine, zlib)"
  else
    say "Warm-up round (not counted): download (engine, curl), then verification (engine, zlib)"
  fi
  # Rotate who goes first, so that drift in the machine's state favours none of them.
  for turn in "${!contenders[@]}"; do
    who="${contenders[$(((turn + round) % ${#contenders[@]}))]}"
    if [ "$who" = engine ]; then
      rm -f "$work/engine/"*
      engine_run "download-$round" "$program"
      counted && download_engine+=("$elapsed")
      expect_release_in "$work/engine"
    elif [ "$who" = proposal ]; then
      rm -f "$work/engine/"*
      engine_run "proposal-$round" "$program" "$proposal_driver"
      counted && download_proposal+=("$elapsed")
      expect_release_in "$work/engine"
    else
      rm -f "$work/curl/"*
      timed "$work/curl-$round.log" curl "${curl_args[@]}"
      counted && download_curl+=("$elapsed")
      expect_release_in "$work/curl"
    fi
  done
  for who in engine zlib; do
    [ $((round % 2)) -eq 0 ] && who=$([ "$who" = engine ] && echo zlib || echo engine)
    if [ "$who" = engine ]; then
      gets=$(storage_gets)
      engine_run "verify-$round" "$program"
      counted && verify_engine+=("$elapsed")
      [ "$(storage_gets)" = "$gets" ] || { echo "run.sh: the run on the complete folder downloaded" >&2; exit 1; }
    else
      timed "$work/zlib-$round.log" "$driver" zlib-files 1048576 "${engine_files[@]}"
      counted && verify_zlib+=("$elapsed")
    fi
  done
done
stop_services
rm -rf "$work/engine" "$work/curl" "$work/services/storage"

# --- run 3 -----------------------------------------------------------------------------------
say "CRC::Compute against zlib's crc32 on $((crc_size >> 20)) MiB"
"$driver" crc-speed "$crc_size" $((rounds < 5 ? 15 : 3 * rounds)) >"$work/crc.log" 2>&1 ||
  { cat "$work/crc.log" >&2; echo "run.sh: the CRC comparison failed" >&2; exit 1; }

# --- run 4: memory with one large file -------------------------------------------------------
big_release="Norvia_3_3_Large"
say "Memory: a release of one $((big_size >> 20)) MiB setup file, downloaded and then checked"
start_services "$work/services-big" "$big_release" 0 1024 "$big_size"
big_program="$work/big/${big_release}_Download"
mkdir -p "$work/big"
engine_run big-download "$big_program"
big_download_seconds=$elapsed
expect_release_in "$work/big"
engine_run big-verify "$big_program"
big_verify_seconds=$elapsed
stop_services
rm -rf "$work/big" "$work/services-big/storage"
load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

# --- figures ---------------------------------------------------------------------------------
crc_value() { awk -v k="$1" '$1 == k { sub(/^[^ ]+ /, ""); print }' "$work/crc.log"; }
download_vs_curl=$(ratio "$(median "${download_engine[@]}")" "$(median "${download_curl[@]}")")
verify_vs_zlib=$(ratio "$(median "${verify_engine[@]}")" "$(median "${verify_zlib[@]}")")
crc_vs_zlib=$(crc_value crc_vs_zlib)
peak_kib=$(printf '%s\n' "${engine_rss[@]}" | sort -n | tail -n 1)
peak_rss_mib=$(((peak_kib + 1023) / 1024))
mib_s() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / 1048576 / s }'; }

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
details="$(cat <<EOF
date: $(date -u '+%Y-%m-%d %H:%M UTC')
machine: $cpu, $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) RAM, Linux $(uname -r), $(df --output=fstype "$bench" | tail -n 1) disk
load (1, 5, 15 min): $load_before before, $load_after after
tools: $(curl --version | head -n 1 | cut -d' ' -f1-2), zlib $(crc_value crc_zlib_version), CRC by $(crc_value crc_method)
release: $files files of $((file_size >> 20)) MiB; $rounds rounds per pair; CRC buffer $((crc_size >> 20)) MiB; large file $((big_size >> 20)) MiB
download: engine $(median "${download_engine[@]}") s ($(mib_s "$size" "$(median "${download_engine[@]}")") MiB/s), curl $(median "${download_curl[@]}") s ($(mib_s "$size" "$(median "${download_curl[@]}")") MiB/s)
verification: engine $(median "${verify_engine[@]}") s, zlib $(median "${verify_zlib[@]}") s
CRC-32: CRC::Compute $(crc_value crc_compute_mib_s) MiB/s, zlib $(crc_value crc_zlib_mib_s) MiB/s
every round (s): engine download ${download_engine[*]}; curl ${download_curl[*]}; engine verification ${verify_engine[*]}; zlib ${verify_zlib[*]}
large file: download $big_download_seconds s, check $big_verify_seconds s
peak RSS per engine run (KiB): ${engine_rss[*]}
EOF
)"
figures="$(printf 'download_vs_curl %s\nverify_vs_zlib %s\ncrc_vs_zlib %s\npeak_rss_mib %s\n' \
  "$download_vs_curl" "$verify_vs_zlib" "$crc_vs_zlib" "$peak_rss_mib")"
if [ -n "$proposal_driver" ]; then
  details+="
proposal $(basename "$proposal"): engine download $(median "${download_proposal[@]}") s; every round (s): ${download_proposal[*]}"
  figures+="
download_vs_curl_with_proposal $(ratio "$(median "${download_proposal[@]}")" "$(median "${download_curl[@]}")")"
fi
{
  echo "# bench/run.sh $(printf '%q ' --size "$size" --files "$files" --rounds "$rounds" --big-size "$big_size" ${proposal:+--proposal "${proposal#"$root/"}"})"
  echo "$details"
  echo
  echo "$figures"
} >"$bench/results.txt"
echo "$details" >&2
echo "$figures"
