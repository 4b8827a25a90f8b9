#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package the build, the tools and the tests need, when missing.
# Safe to run again: it only calls apt-get when something is absent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  juce-modules-source-data
  libsimpleini-dev libicu-dev
  libsndfile1-dev
  libxcb1-dev libxcb-util-dev libxkbcommon-x11-dev libcairo2-dev libpango1.0-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool imagemagick
  sox
  ardour zam-plugins
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
