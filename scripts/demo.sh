#!/usr/bin/env bash
# The program doing its job in one command. Installs what is missing, builds, starts the local
# demo services (download service, download storage and content server on loopback HTTPS with a
# certificate authority of their own), places the program in a fresh folder under a release file
# name and runs it against them: in your X display when there is one, otherwise under Xvfb
# (with screenshots). Then it reports the files and their verification, the setup launch, the
# log received and the requests served, and stops what it started.
#
# With --windows the same run is made by the Windows program as users receive it (scripts/release.sh
# writes it into dist/, cross-built with mingw-w64, stripped, unsigned), copied
# as Norvia_3_2_Home_Download.exe into the fresh folder and run under wine and Xvfb, in a wine
# prefix of the run's own that trusts the services' certificate authority; the release's setup is
# a real Windows program that writes setup-started.txt beside itself when ShellExecute starts it.
#
# Usage: scripts/demo.sh [options]
#   --windows           the Windows program under wine (always under Xvfb)
#   --headless          use Xvfb even when a display is available
#   --damaged           the storage serves one file damaged: retries, then the error screen
#   --unknown-release   the program is named for a release the service does not know
#   --unsigned          storage reached by query signature instead of signed paths
#   --files N           data files besides Setup.exe (default 5)
#   --file-size SIZE    bytes per data file, K/M suffix allowed (default 6M)
#   --rate SIZE         storage bytes per second, 0 for unlimited (default 4M)
#   --timeout SECONDS   longest the program may run (default 300)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

mode=normal headless="" unsigned="" windows="" files=5 file_size=6M rate=4M timeout=300
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1; headless=1 ;;
    --headless) headless=1 ;;
    --damaged) mode=damaged ;;
    --unknown-release) mode=unknown ;;
    --unsigned) unsigned=1 ;;
    --files) files="$2"; shift ;;
    --file-size) file_size="$2"; shift ;;
    --rate) rate="$2"; shift ;;
    --timeout) timeout="$2"; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$timeout" in ''|*[!0-9]*) echo "demo.sh: --timeout needs whole seconds" >&2; exit 2 ;; esac
if [ "$mode" = damaged ]; then
  # Seven passes of four attempts on the damaged file: keep them short.
  files=3 file_size=256K rate=0
fi

say() { printf '\033[1m%s\033[0m\n' "$*"; }
[ -t 1 ] || say() { printf '%s\n' "$*"; }

# --- what we start, and how it is stopped again -------------------------------------------------
services_pid="" xvfb_pid="" program_pid="" wine_prefix=""
stop_pid() {
  local pid="$1"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  stop_pid "$program_pid"
  # What the program left running in the prefix (a file browser, the setup) ends with its server.
  [ -z "$wine_prefix" ] || WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
  stop_pid "$services_pid"
  stop_pid "$xvfb_pid"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- dependencies and build ---------------------------------------------------------------------
say "Checking the packages the demo needs"
scripts/install-deps.sh

build="${NORVIA_BUILD_DIR:-$root/build}"
# Short numbered folders: the program shows its own path on the progress screen.
mkdir -p "$root/.demo"
n=1
until mkdir "$root/.demo/run-$n" 2>/dev/null; do
  [ -e "$root/.demo/run-$n" ] || { echo "demo.sh: cannot create $root/.demo/run-$n" >&2; exit 1; }
  n=$((n + 1))
done
run="$root/.demo/run-$n"
mkdir -p "$run/bin" "$run/screenshots" "$run/data"
say "Building the program and the demo services into $build (log: $run/build.log)"
windows_build="$build/windows"
build_program() {
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  if [ -z "$windows" ]; then
    cmake --build "$build" -j"$(nproc)" --target NorviaDownloadManager norvia_demo_services
    return
  fi
  # The Windows build is configured by the Linux build (as for the tests); then only what the demo
  # runs is built in it.
  local targets
  targets="$(cmake --build "$build" --target help)"
  grep -q 'norvia_windows-configure' <<<"$targets" || {
    echo "demo.sh: the build has no Windows part (is mingw-w64 installed? scripts/install-deps.sh)" >&2
    return 1
  }
  # The program is the release users receive (dist/, unsigned).
  cmake --build "$build" -j"$(nproc)" --target norvia_demo_services norvia_windows-configure &&
    cmake --build "$windows_build" -j"$(nproc)" --target norvia_demo_setup norvia_wine_trust &&
    NORVIA_BUILD_DIR="$build" scripts/release.sh
}
if ! build_program >"$run/build.log" 2>&1; then
  tail -n 30 "$run/build.log" >&2
  echo "demo.sh: the build failed; the whole log is $run/build.log" >&2
  exit 1
fi

# --- the services -------------------------------------------------------------------------------
say "Starting the demo services"
service_args=(--dir "$run/services" --ready-file "$run/ready.env" --request-log "$run/requests.log"
              --uploads "$run/uploads" --files "$files" --file-size "$file_size" --rate "$rate"
              --max-seconds $((timeout + 300)))
[ -n "$unsigned" ] && service_args+=(--unsigned)
[ "$mode" = damaged ] && service_args+=(--damage Setup-1b.bin)
[ -n "$windows" ] && service_args+=(--setup-program "$windows_build/Setup.exe")
"$build/norvia_demo_services" "${service_args[@]}" >"$run/services.out" 2>&1 &
services_pid=$!
for _ in $(seq 1 600); do
  [ -f "$run/ready.env" ] && break
  kill -0 "$services_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -f "$run/ready.env" ]; then
  cat "$run/services.out" >&2
  echo "demo.sh: the demo services did not start" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$run/ready.env"
sed 's/^/  /' "$run/services.out"

# --- the display --------------------------------------------------------------------------------
display="" xvfb=""
if [ -z "$headless" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  display="$DISPLAY"
  say "Using your display $display"
else
  for n in $(seq 99 160); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp >"$run/xvfb.out" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then display=":$n"; xvfb=1; break; fi
    stop_pid "$xvfb_pid"; xvfb_pid=""
  done
  [ -n "$display" ] || { echo "demo.sh: no Xvfb display could be started" >&2; exit 1; }
  say "No display in use: running under Xvfb $display (screenshots in $run/screenshots)"
fi

# --- the program in a fresh folder --------------------------------------------------------------
release="$NORVIA_DEMO_RELEASE"
[ "$mode" = unknown ] && release="Norvia_3_9_Unknown"  # same version folder: the artwork still loads
folder="$run/$release"
program_name="${release}_Download"
mkdir -p "$folder"
if [ -n "$windows" ]; then
  program_name="$program_name.exe"
  cp "$root/dist/NorviaDownloadManager.exe" "$folder/$program_name"
else
  cp "$build/NorviaDownloadManager" "$folder/$program_name"
fi
launches="$run/launches.txt"
: >"$launches"
# The desktop's opener, shown instead of run: the setup is a Windows program and the support
# article lives on the demo's own host.
cat >"$run/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\t%s\n' "\$(pwd -P)" "\$*" >> '$launches'
EOF
chmod +x "$run/bin/xdg-open"

program_env=(DISPLAY="$display" NORVIA_SERVICE_HOST="$NORVIA_SERVICE_HOST" NORVIA_CONTENT_HOST="$NORVIA_CONTENT_HOST"
             NORVIA_SUPPORT_HOST="$NORVIA_SUPPORT_HOST" PATH="$run/bin:$PATH")
launch=("./$program_name")
if [ -n "$windows" ]; then
  # A prefix of this run's own, trusting the services' authority in its ROOT store; the services'
  # names on loopback in a hosts file that only the program sees (wine resolves no *.localhost).
  wine_prefix="$run/wine-prefix"
  say "Making the wine prefix $wine_prefix (the first boot takes a while)"
  if ! DISPLAY="$display" scripts/wine-prefix.sh "$wine_prefix" "$windows_build/norvia_wine_trust.exe" \
         "$NORVIA_DEMO_CA_FILE" >"$run/wine-prefix.out" 2>&1; then
    cat "$run/wine-prefix.out" >&2
    echo "demo.sh: the wine prefix could not be made" >&2
    exit 1
  fi
  echo "127.0.0.1 localhost $NORVIA_DEMO_HOST_NAMES" >"$run/hosts"
  program_env+=(WINEPREFIX="$wine_prefix")
  launch=("$root/scripts/wine-run.sh" --hosts "$run/hosts" "$folder/$program_name")
else
  program_env+=(SSL_CERT_FILE="$NORVIA_DEMO_CA_FILE" XDG_DATA_HOME="$run/data")
  [ -n "$xvfb" ] && program_env+=(LIBGL_ALWAYS_SOFTWARE=1)
fi
say "Running $folder/$program_name$([ -n "$windows" ] && echo " under wine")"
(cd "$folder" && exec env "${program_env[@]}" "${launch[@]}") >"$run/program.out" 2>&1 &
program_pid=$!

# --- watching the run ---------------------------------------------------------------------------
window="" shots=() splash_seen="" main_seen="" progress_shots=0 last_shot=0 end_seen="" shown=0
window_geometry() {  # sets WIDTH HEIGHT X Y of the program's window, false when there is none
  [ -n "$window" ] || window="$(DISPLAY="$display" xdotool search --name "Norvia Download Manager" 2>/dev/null | head -n 1)"
  [ -n "$window" ] || return 1
  eval "$(DISPLAY="$display" xdotool getwindowgeometry --shell "$window" 2>/dev/null)" || return 1
  [ -n "${WIDTH:-}" ]
}
screenshot() {  # name: the program's window as it is now
  local file
  file="$run/screenshots/$(printf '%02d' $((${#shots[@]} + 1)))-$1.png"
  window_geometry || return 0
  if import -display "$display" -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$file" 2>/dev/null; then
    shots+=("$file")
  fi
}
press_exit() {  # the title bar's exit glyph, as a user would click it
  window_geometry || return 0
  DISPLAY="$display" xdotool mousemove --window "$window" $((WIDTH - 16)) 18 sleep 0.3 mousedown 1 sleep 0.3 mouseup 1
}
ended_on_failure_screen() {
  case "$mode" in
    damaged) [ "$(grep -c "Setup-1b.bin" "$run/requests.log" 2>/dev/null || true)" -ge 28 ] ;;
    unknown) grep -q 'download-manager-not-working' "$launches" ;;
    *) return 1 ;;
  esac
}

now_ms() { local t="${EPOCHREALTIME/[.,]/}"; echo $((10#$t / 1000)); }
start=$SECONDS status=""
while :; do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    set +e; wait "$program_pid"; status=$?; set -e
    program_pid=""
    break
  fi
  if [ $((SECONDS - start)) -ge "$timeout" ]; then
    echo "demo.sh: the program did not end within $timeout s; stopping it" >&2
    break
  fi
  # What the program hands to the desktop, as it happens.
  while [ "$(wc -l <"$launches")" -gt "$shown" ]; do
    shown=$((shown + 1))
    sed -n "${shown}p" "$launches" | awk -F'\t' '{ printf "  xdg-open %s   (working folder %s)\n", $2, $1 }'
  done
  if [ -n "$xvfb" ] && window_geometry; then
    now=$SECONDS
    if [ "$WIDTH" = 340 ] && [ -z "$splash_seen" ]; then
      splash_seen=$(now_ms)
    elif [ "$WIDTH" = 340 ] && [ "${#shots[@]}" -eq 0 ] && [ $(($(now_ms) - splash_seen)) -ge 300 ]; then
      # The splash lasts little more than a second: a few frames in, the logo is drawn.
      screenshot splash
    elif [ "$WIDTH" = 1200 ]; then
      [ -n "$main_seen" ] || main_seen=$now
      # The screen fades in over about two seconds; then one picture every few seconds.
      if [ "$mode" = normal ] && [ $progress_shots -lt 3 ] && [ $((now - main_seen)) -ge 4 ] &&
         [ $((now - last_shot)) -ge 3 ]; then
        screenshot progress; progress_shots=$((progress_shots + 1)); last_shot=$now
      fi
    fi
  fi
  if [ "$mode" != normal ] && [ -z "$end_seen" ] && ended_on_failure_screen; then
    end_seen=$SECONDS
  fi
  if [ -n "$end_seen" ] && [ $((SECONDS - end_seen)) -ge 4 ]; then
    if [ -n "$xvfb" ]; then
      if [ "$mode" = damaged ]; then screenshot download-error; else screenshot support-screen; fi
      say "The program waits on its $([ "$mode" = damaged ] && echo download-error || echo support) screen; pressing its exit control"
      press_exit
      end_seen=$((SECONDS + 1000000))  # once
    elif [ "$end_seen" -lt 1000000 ]; then
      say "The program waits on its error screen: press its exit control to leave (the log is then uploaded)"
      end_seen=$((SECONDS + 1000000))
    fi
  fi
  sleep 0.25
done
while [ "$(wc -l <"$launches")" -gt "$shown" ]; do
  shown=$((shown + 1))
  sed -n "${shown}p" "$launches" | awk -F'\t' '{ printf "  xdg-open %s   (working folder %s)\n", $2, $1 }'
done
stop_pid "$program_pid"; program_pid=""
sleep 0.5  # let the services finish writing the last request line
stop_pid "$services_pid"; services_pid=""

# --- what happened ------------------------------------------------------------------------------
echo
say "What happened"
ok=1
if [ -n "$status" ]; then echo "Program exit status: $status"; else echo "Program exit status: none (stopped after $timeout s)"; ok=""; fi

echo "Files in $folder (checked against the storage's file list by their CRC-32):"
if [ "$mode" = unknown ]; then
  echo "  none expected: the service does not know release $release"
  files_ok=""
elif "$build/norvia_demo_services" verify --list "$NORVIA_DEMO_FILE_LIST" --folder "$folder" \
       --product-code "$NORVIA_DEMO_PRODUCT_CODE"; then
  files_ok=1
else
  files_ok=""
fi

setup_launch="$(grep -F "/Setup_${NORVIA_DEMO_PRODUCT_CODE}.exe" "$launches" || true)"
if [ -n "$windows" ]; then
  # The setup starts as the program ends: give it a moment to write its marker.
  marker="$folder/setup-started.txt"
  for _ in $(seq 1 100); do [ -f "$marker" ] && break; [ "$mode" = normal ] || break; sleep 0.1; done
  if [ -f "$marker" ]; then
    setup_launch=1
    echo "Setup started through ShellExecute; its marker $marker says:"
    tr -d '\r' <"$marker" | sed 's/^/  /'
  else
    echo "Setup started: no (no $marker)"
  fi
elif [ -n "$setup_launch" ]; then
  echo "Setup launched through xdg-open: $(cut -f2 <<<"$setup_launch") (working folder $(cut -f1 <<<"$setup_launch"))"
else
  echo "Setup launched: no"
fi
if grep -q 'download-manager-not-working' "$launches"; then
  echo "Support article opened: $(grep 'download-manager-not-working' "$launches" | head -n 1 | cut -f2)"
fi

uploads=("$run"/uploads/*.gz)
if [ -e "${uploads[0]}" ]; then
  echo "Log received by the download service:"
  grep -h 'LogErrorInfo stored' "$run/requests.log" | sed 's/.*LogErrorInfo stored /  /'
else
  echo "Log received: none (the program uploads its log only when the user leaves through an exit control;"
  echo "  a download that ends cleanly quits without it)"
fi
[ -f "$folder/logfile.txt" ] && echo "Text log beside the program: $folder/logfile.txt"

total=$(wc -l <"$run/requests.log")
echo "Requests served: $total (log: $run/requests.log)"
for service in content service storage support unknown; do
  count=$(awk -v s="$service" '$2 == s' "$run/requests.log" | wc -l)
  [ "$count" -gt 0 ] || continue
  refused=$(awk -v s="$service" '$2 == s && / -> 403 /' "$run/requests.log" | wc -l)
  printf '  %-8s %4d%s\n' "$service" "$count" "$([ "$refused" -gt 0 ] && echo ", $refused refused (403)")"
done

if [ -n "$xvfb" ]; then
  echo "Screenshots:"
  if [ "${#shots[@]}" -eq 0 ]; then echo "  none taken"; fi
  for shot in "${shots[@]}"; do echo "  $shot"; done
fi
echo "Everything of this run is kept in $run"

# The demo succeeds when the run ended as it should in its mode.
case "$mode" in
  normal)
    [ "$status" = 0 ] && [ -n "$files_ok" ] && [ -n "$setup_launch" ] || ok="" ;;
  damaged|unknown)
    [ -z "$setup_launch" ] || ok=""
    [ -z "$xvfb" ] || [ -e "${uploads[0]}" ] || ok="" ;;
esac
if [ -n "$xvfb" ] && [ "$mode" = normal ]; then
  [[ " ${shots[*]} " == *-splash.png* && " ${shots[*]} " == *-progress.png* ]] ||
    { echo "demo.sh: the splash or the progress screen was not captured" >&2; ok=""; }
fi
if [ -n "$ok" ]; then say "Demo finished as expected"; exit 0; fi
say "Demo did not end as expected; see $run"
exit 1
