#!/bin/sh
# The browser engine in WebAssembly under Node beside the same engine built
# natively: the same loop, F7 and F9 with the trace off and on, in rounds
# that alternate between the two so that both meet the same load.
#
#   bench/engine_wasm_vs_native.sh build/bench/kovar_engine_bench build/wasm/web/engine/kovar-engine.wasm [ROUNDS]
set -e
here=$(dirname "$0")
node=${KOVAR_NODE:-node}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=
for round in $(seq "${3:-5}"); do
    "$1" --benchmark_min_time=0.2 --benchmark_format=json >"$work/native$round.json"
    "$node" "$here/engine_bench.mjs" measure "$2" "$here/engine_loop.kasm" >"$work/wasm$round.json"
    files="$files $work/native$round.json $work/wasm$round.json"
done
"$node" "$here/engine_bench.mjs" report $files
