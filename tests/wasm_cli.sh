#!/bin/sh
# KOVAR_CLI_WRAPPER of the WebAssembly tests: runs the WebAssembly build of
# the native program named first (kovar3-run or kovar3-asm) under Node, with
# the remaining arguments; a program without one (the windowed kovar3) runs
# as it is. KOVAR_WASM_BUILD names the WebAssembly build folder.
program=$1
shift
case $(basename "$program") in
kovar3-run) module=$KOVAR_WASM_BUILD/runner/kovar3-run.wasm ;;
kovar3-asm) module=$KOVAR_WASM_BUILD/asm/kovar3-asm.wasm ;;
*) exec "$program" "$@" ;;
esac
exec "$(dirname "$0")/../web/engine/kovar-wasi" "$module" "$@"
