#!/usr/bin/env bash
# Fetches Debian source packages and unpacks them, for libraries Debian does not package for mingw.
#
#   scripts/debian-source.sh WORKDIR PACKAGE=VERSION...
#
# Everything apt needs lives under WORKDIR: a sources list with deb-src entries derived from this
# machine's own apt sources, and apt's state, lists and cache, so the machine's apt state is never
# touched. Each package ends up unpacked (Debian patches applied) in WORKDIR/PACKAGE-VERSION.
#
# Trust: apt checks the archive's signed InRelease against the keyrings the machine's sources name,
# the Sources index against InRelease and the downloaded .dsc and tarballs against the index;
# dpkg-source -x then checks every tarball against the checksums in the .dsc. A package unpacked
# before (its stamp present) is not fetched again.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 WORKDIR PACKAGE=VERSION..." >&2
  exit 2
fi
workdir=$(mkdir -p "$1" && cd "$1" && pwd)
shift

wanted=()
for request in "$@"; do
  [ -f "$workdir/${request%%=*}-${request#*=}/.unpacked" ] || wanted+=("$request")
done
[ ${#wanted[@]} -eq 0 ] && exit 0

fail() {
  echo "debian-source.sh: $*" >&2
  exit 1
}
command -v dpkg-source >/dev/null || fail "dpkg-source is missing: run scripts/install-deps.sh (dpkg-dev)"

apt_dir=$workdir/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" \
  "$workdir/downloads"
: >"$apt_dir/state/status"

# One-line entries: every "deb" line becomes a "deb-src" line; existing deb-src lines are kept.
one_line_sources() {
  sed -n -E 's/^[[:space:]]*deb(-src)?[[:space:]]+/deb-src /p' "$@" | sort -u
}
# deb822 stanzas: each enabled stanza of type deb is repeated with type deb-src; the architecture
# restriction is dropped because source indexes have none.
stanza_sources() {
  awk '
    function flush() {
      if (is_deb && enabled) { print "Types: deb-src"; printf "%s", body; print "" }
      body = ""; is_deb = 0; enabled = 1
    }
    BEGIN { enabled = 1 }
    /^[[:space:]]*#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    /^Types:/ { if ($0 ~ /[[:space:]]deb([[:space:]]|$)/ || $0 ~ /deb-src/) is_deb = 1; next }
    /^Enabled:[[:space:]]*(no|false)/ { enabled = 0; next }
    /^Architectures:/ { next }
    { body = body $0 "\n" }
    END { flush() }
  ' "$@"
}

shopt -s nullglob
list_files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
existing=()
for f in "${list_files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
if [ ${#existing[@]} -gt 0 ]; then
  one_line_sources "${existing[@]}" >"$apt_dir/sources.list"
else
  : >"$apt_dir/sources.list"
fi
stanza_files=(/etc/apt/sources.list.d/*.sources)
rm -f "$apt_dir/sources.list.d/"*
if [ ${#stanza_files[@]} -gt 0 ]; then
  stanza_sources "${stanza_files[@]}" >"$apt_dir/sources.list.d/derived.sources"
fi
[ -s "$apt_dir/sources.list" ] || [ -s "$apt_dir/sources.list.d/derived.sources" ] ||
  fail "no apt sources found in /etc/apt to derive source entries from"

cat >"$apt_dir/apt.conf" <<EOF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::State "$apt_dir/state";
Dir::State::status "$apt_dir/state/status";
Dir::Cache "$apt_dir/cache";
APT::Update::Error-Mode "any";
EOF
# Run as root, apt hands downloads to its sandbox user, who cannot write into a build folder.
[ "$(id -u)" -eq 0 ] && echo 'APT::Sandbox::User "root";' >>"$apt_dir/apt.conf"
export APT_CONFIG=$apt_dir/apt.conf

echo "Fetching Debian sources: ${wanted[*]}"
apt-get -q update >"$apt_dir/update.log" 2>&1 || {
  cat "$apt_dir/update.log" >&2
  fail "Debian's source archive could not be reached (apt-get update failed, log above)"
}
(cd "$workdir/downloads" && apt-get -q source --download-only "${wanted[@]}") >"$apt_dir/source.log" 2>&1 || {
  cat "$apt_dir/source.log" >&2
  fail "could not download ${wanted[*]} from Debian's source archive (log above)"
}

for request in "${wanted[@]}"; do
  package=${request%%=*}
  version=${request#*=}
  # The file name carries the version without its epoch.
  dsc=$workdir/downloads/${package}_${version#*:}.dsc
  [ -f "$dsc" ] || fail "apt-get source left no $dsc"
  target=$workdir/$package-$version
  rm -rf "$target"
  dpkg-source --no-copy -x "$dsc" "$target" >"$apt_dir/unpack-$package.log" 2>&1 || {
    cat "$apt_dir/unpack-$package.log" >&2
    fail "$dsc did not unpack: a file does not match the checksums of the .dsc (log above)"
  }
  touch "$target/.unpacked"
done
