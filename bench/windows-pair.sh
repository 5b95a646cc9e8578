# Sourced by bench/run.sh: the Windows engine under wine against the plainest WinINet download.
# Uses run.sh's build, rounds, work folder and helpers (say, start_services, counted, ...).
# shellcheck shell=bash

# The Windows build of the driver runs the engine as the program does, against the plainest
# WinINet download (bench/wininet) of the same file from the same services in the same prefix,
# alternately, $rounds counted rounds after a warm-up. The release is one setup file of
# $windows_size bytes: the project's demo setup with that many bytes appended (still a program
# wine starts, so the run ends as the program's does). Each side's time is that file's transfer
# from its first byte to its last written, timed in the process; fills windows_engine and
# windows_wininet.
windows_engine=() windows_wininet=()
windows_download_vs_wininet() {
  local windows_build="$build/windows" dir="$work/windows"
  say "Building the Windows driver and the plain WinINet download into $windows_build"
  { cmake --build "$build" -j2 --target norvia_windows-configure &&
      cmake --build "$windows_build" -j2 --target norvia_bench_driver norvia_wininet_fetch norvia_demo_setup \
        norvia_wine_trust; } >>"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log" >&2; echo "run.sh: the Windows build failed" >&2; exit 1; }
  rm -rf "$dir"
  mkdir -p "$dir/engine" "$dir/wininet"
  cp "$windows_build/Setup.exe" "$dir/Setup.exe"
  head -c "$windows_size" /dev/urandom >>"$dir/Setup.exe"
  local services_extra=(--setup-program "$dir/Setup.exe")
  start_services "$dir/services" Norvia_3_4_Wine 0 1024 1024
  local prefix="$dir/prefix"
  say "Making the wine prefix $prefix, trusting the services' authority"
  "$root/scripts/wine-prefix.sh" "$prefix" "$windows_build/norvia_wine_trust.exe" "$NORVIA_DEMO_CA_FILE" \
    >"$dir/prefix.log" 2>&1 || { cat "$dir/prefix.log" >&2; echo "run.sh: the wine prefix failed" >&2; exit 1; }
  echo "127.0.0.1 localhost $NORVIA_DEMO_HOST_NAMES" >"$dir/hosts"
  local wine=(env WINEPREFIX="$prefix" NORVIA_SERVICE_HOST="$NORVIA_SERVICE_HOST"
              NORVIA_CONTENT_HOST="$NORVIA_CONTENT_HOST" NORVIA_SUPPORT_HOST="$NORVIA_SUPPORT_HOST"
              "$root/scripts/wine-run.sh" --hosts "$dir/hosts")
  local program="$dir/engine/Norvia_3_4_Wine_Download.exe"
  "${engine_env[@]}" "$driver" describe "$program" >"$dir/describe.log" 2>&1 ||
    { cat "$dir/describe.log" >&2; echo "run.sh: the description request failed" >&2; exit 1; }
  grep '^BENCH_STORAGE_' "$dir/describe.log" >"$dir/storage.env"
  # shellcheck disable=SC1091
  . "$dir/storage.env"
  local url="${BENCH_STORAGE_PREFIX}Setup.exe${BENCH_STORAGE_QUERY}" who turn seconds
  for round in $(seq 0 "$rounds"); do
    if counted; then say "windows: round $round of $rounds"; else say "windows: warm-up round (not counted)"; fi
    for turn in 0 1; do
      who=$([ $(((turn + round) % 2)) -eq 0 ] && echo engine || echo wininet)
      if [ "$who" = engine ]; then
        rm -f "$dir/engine/"*
        "${wine[@]}" "$windows_build/norvia_bench_driver.exe" run "Z:$program" >"$dir/engine-$round.log" 2>&1 ||
          { tail -n 20 "$dir/engine-$round.log" >&2; echo "run.sh: the Windows engine run failed" >&2; exit 1; }
        expect_release_in "$dir/engine"
        seconds=$(tr -d '\r' <"$dir/engine-$round.log" | awk '$1 == "engine_transfer_s" { print $2 }')
        counted && windows_engine+=("$seconds")
      else
        rm -f "$dir/wininet/"*
        "${wine[@]}" "$windows_build/norvia_wininet_fetch.exe" "$url" "Z:$dir/wininet/$(local_name Setup.exe)" \
          >"$dir/wininet-$round.log" 2>&1 ||
          { tail -n 20 "$dir/wininet-$round.log" >&2; echo "run.sh: the WinINet download failed" >&2; exit 1; }
        expect_release_in "$dir/wininet"
        seconds=$(tr -d '\r' <"$dir/wininet-$round.log" | awk '$1 == "wininet_transfer_s" { print $2 }')
        counted && windows_wininet+=("$seconds")
      fi
      [ -n "$seconds" ] && [ "$seconds" != 0.0000 ] || { echo "run.sh: no transfer time from the $who side" >&2; exit 1; }
    done
  done
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  stop_services
  rm -rf "$dir"
}
