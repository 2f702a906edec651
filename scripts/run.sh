#!/usr/bin/env bash
# Builds the reader and starts it in a window. The reader keeps quillo.cfg and
# quillo.mrf in its working folder: QUILLO_HOME (default ~/.quillo).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" g++ cmake make pkg-config libsdl1.2-dev zlib1g-dev libexpat1-dev nettle-dev
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DQUILLO_TESTS=OFF -DQUILLO_BENCH=OFF >/dev/null
cmake --build "$root/build" --target quillo -j"$(nproc)"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: start it under a virtual X server with  xvfb-run -s '-screen 0 320x240x16' $0  (package xvfb)."
  exit 1
fi
home="${QUILLO_HOME:-$HOME/.quillo}"
mkdir -p "$home"
cd "$home"
exec "$root/build/quillo"
