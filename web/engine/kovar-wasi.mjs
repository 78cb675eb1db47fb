// Runs a WebAssembly command module under Node's WASI (see kovar-wasi): the
// module path, then the program's arguments. The program sees the whole file
// system under its host paths; its current folder is Node's, which the
// module's start-up code (wasi_cwd.cpp) enters from KOVAR_WASI_CWD.
import { readFileSync } from 'node:fs';
import { basename } from 'node:path';
import { WASI } from 'node:wasi';

const [modulePath, ...args] = process.argv.slice(2);
if (!modulePath) {
    process.stderr.write('usage: kovar-wasi MODULE.wasm [ARGUMENTS...]\n');
    process.exit(2);
}
const wasi = new WASI({
    version: 'preview1',
    args: [basename(modulePath, '.wasm'), ...args],
    env: { ...process.env, KOVAR_WASI_CWD: process.cwd() },
    preopens: { '/': '/' },
    returnOnExit: true,
});
const imports = wasi.getImportObject
    ? wasi.getImportObject()
    : { wasi_snapshot_preview1: wasi.wasiImport };
const instance = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(modulePath)), imports);
process.exitCode = wasi.start(instance) ?? 0;
