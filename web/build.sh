#!/usr/bin/env bash
# Builds the page: the npm packages from package-lock.json (npm ci, only when
# node_modules is missing or older than the lock file), the engine module
# given, the TypeScript check, then Vite's build into OUT (web/dist when not
# given). The result is plain files for any static host.
#
#   web/build.sh ENGINE.wasm [OUT]
#
# Needs Node.js 20.19 or later in the 20 line, or 22.12 or later (what Vite 7
# runs on); Debian 12's own nodejs package is 18, too old.
set -euo pipefail
web="$(cd "$(dirname "$0")" && pwd)"
node_version="$(node --version 2>/dev/null || true)"
node_ok=0
if [[ "$node_version" =~ ^v([0-9]+)\.([0-9]+)\. ]]; then
    major=${BASH_REMATCH[1]}
    minor=${BASH_REMATCH[2]}
    if { [ "$major" -eq 20 ] && [ "$minor" -ge 19 ]; } || { [ "$major" -eq 22 ] && [ "$minor" -ge 12 ]; } ||
        [ "$major" -ge 23 ]; then
        node_ok=1
    fi
fi
if [ "$node_ok" -eq 0 ]; then
    echo "web/build.sh: the page's build (Vite 7) needs Node.js 20.19 or a later 20, or 22.12 or later;" >&2
    echo "this is ${node_version:-no node at all}. Debian 12's nodejs package is 18: install Node.js 22" >&2
    echo "(or 20) from nodejs.org or NodeSource, then run this again." >&2
    exit 1
fi
engine="$(realpath "${1:?usage: web/build.sh ENGINE.wasm [OUT]}")"
out="$(realpath -m "${2:-$web/dist}")"
cd "$web"
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund
fi
mkdir -p src/generated
cp "$engine" src/generated/kovar-engine.wasm
npx --no-install tsc --noEmit
npx --no-install vite build --outDir "$out" --emptyOutDir --logLevel warn
echo "The page is in $out"
