// The few WASI system calls the engine's C++ runtime may make, answered
// inside the page: no files, no environment, no arguments. What the engine
// writes to standard output or error is handed to a callback (the default
// error handler of the number conversions writes there). Every other import
// of the module answers ENOSYS, so a call that the page cannot serve fails
// inside the engine instead of at instantiation.

const ESUCCESS = 0;
const EBADF = 8;
const ENOSYS = 52;

export class WasiExit extends Error {
  constructor(readonly code: number) {
    super(`exit ${code}`);
  }
}

export interface WasiHost {
  // Text written to a file descriptor (1 or 2), decoded as UTF-8 per call.
  write(fd: number, text: string): void;
}

export function wasiImports(
  module: WebAssembly.Module,
  memory: () => WebAssembly.Memory,
  host: WasiHost,
): WebAssembly.Imports {
  const view = () => new DataView(memory().buffer);
  const decoder = new TextDecoder();
  const known: Record<string, (...args: number[]) => number> = {
    fd_write(fd, iovs, count, writtenOut) {
      if (fd !== 1 && fd !== 2) return EBADF;
      const dv = view();
      const bytes = new Uint8Array(memory().buffer);
      let total = 0;
      let text = "";
      for (let i = 0; i < count; i++) {
        const ptr = dv.getUint32(iovs + 8 * i, true);
        const len = dv.getUint32(iovs + 8 * i + 4, true);
        text += decoder.decode(bytes.subarray(ptr, ptr + len), { stream: true });
        total += len;
      }
      text += decoder.decode();
      if (text) host.write(fd, text);
      dv.setUint32(writtenOut, total, true);
      return ESUCCESS;
    },
    fd_close: () => ESUCCESS,
    fd_seek: () => ENOSYS,
    fd_fdstat_get(fd, out) {
      if (fd > 2) return EBADF;
      // A character device without rights restrictions.
      const dv = view();
      for (let i = 0; i < 24; i++) dv.setUint8(out + i, 0);
      dv.setUint8(out, 2);
      return ESUCCESS;
    },
    fd_prestat_get: () => EBADF,
    environ_sizes_get(countOut, sizeOut) {
      view().setUint32(countOut, 0, true);
      view().setUint32(sizeOut, 0, true);
      return ESUCCESS;
    },
    environ_get: () => ESUCCESS,
    args_sizes_get(countOut, sizeOut) {
      view().setUint32(countOut, 0, true);
      view().setUint32(sizeOut, 0, true);
      return ESUCCESS;
    },
    args_get: () => ESUCCESS,
    clock_time_get(_id, _precision, out) {
      const ns = BigInt(Math.round(performance.timeOrigin * 1e3 + performance.now() * 1e3)) * 1000n;
      view().setBigUint64(out, ns, true);
      return ESUCCESS;
    },
    random_get(ptr, len) {
      crypto.getRandomValues(new Uint8Array(memory().buffer, ptr, len));
      return ESUCCESS;
    },
    proc_exit(code) {
      throw new WasiExit(code);
    },
  };
  const imports: WebAssembly.Imports = {};
  for (const entry of WebAssembly.Module.imports(module)) {
    if (entry.kind !== "function") continue;
    const ns = (imports[entry.module] ??= {}) as Record<string, unknown>;
    ns[entry.name] =
      entry.module.startsWith("wasi") && known[entry.name] ? known[entry.name] : () => ENOSYS;
  }
  return imports;
}
