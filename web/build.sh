#!/usr/bin/env bash
# Builds the page: the npm packages from package-lock.json (npm ci, only when
# node_modules is missing or older than the lock file), the engine module
# given, the TypeScript check, then Vite's build into OUT (web/dist when not
# given). The result is plain files for any static host.
#
#   web/build.sh ENGINE.wasm [OUT]
set -euo pipefail
web="$(cd "$(dirname "$0")" && pwd)"
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
