#!/bin/sh
# KOVAR_CLI_WRAPPER of the WebAssembly tests: runs the WebAssembly build of
# the native program named first (kovar3-run or kovar3-asm) under Node, with
# the remaining arguments. KOVAR_WASM_BUILD names the WebAssembly build folder.
program=$(basename "$1")
shift
case $program in
kovar3-run) module=$KOVAR_WASM_BUILD/runner/kovar3-run.wasm ;;
kovar3-asm) module=$KOVAR_WASM_BUILD/asm/kovar3-asm.wasm ;;
*)
    echo "wasm_cli.sh: no WebAssembly build of $program" >&2
    exit 127
    ;;
esac
exec "$(dirname "$0")/../web/engine/kovar-wasi" "$module" "$@"
