#!/usr/bin/env bash
# Stages `cmake --install` of the build tree BUILD into STAGE (DESTDIR), afresh.
# Usage: stage_install.sh BUILD STAGE
set -euo pipefail
build=$1 stage=$2
rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" >"$stage.log"
