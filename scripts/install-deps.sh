#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only those missing.
# Safe to run again: with everything present it does nothing and needs no network.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libglfw3-dev libimgui-dev libstb-dev libgl1-mesa-dev libgl1-mesa-dri
  fonts-roboto-unhinted fonts-font-awesome
  libcurl4-openssl-dev libssl-dev zlib1g-dev nlohmann-json3-dev
  libgtest-dev libcpp-httplib-dev
  xvfb xdotool imagemagick x11-utils libx11-dev curl openssl ca-certificates
  clang libclang-rt-dev  # scripts/fuzz.sh
  time                   # bench/run.sh (peak memory)
  # The Windows build (cmake/toolchains/mingw-w64-x86_64.cmake) and its tests under wine
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64
  dpkg-dev               # unpacks Debian's GLFW and Dear ImGui sources for the Windows build
  icoutils osslsigncode  # scripts/release.sh: the resources read back, the signature
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
