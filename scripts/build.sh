#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into a build directory (default: build). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" -j"${JOBS:-2}"
