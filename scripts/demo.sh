#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, installs Vamplet.vst3 into ~/.vst3 and shows what a host
# finds in the installed bundle.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ninja -C "${BUILD_DIR:-build}" install-vst3
"${BUILD_DIR:-build}"/host/vamplet-host info "$HOME/.vst3/Vamplet.vst3"
