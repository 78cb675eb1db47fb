// The browser engine's commands in kovar-engine.wasm under Node, timed as
// engine_bench.cpp times them natively (see engine_wasm_vs_native.sh).
//
//   node engine_bench.mjs measure KOVAR-ENGINE.wasm LOOP.kasm > WASM.json
//   node engine_bench.mjs report NATIVE.json WASM.json [NATIVE.json WASM.json]...
//
// "measure" prints CPU nanoseconds per instruction of each figure; "report"
// sets rounds of native and WebAssembly figures side by side: the median of
// each figure and the median of the rounds' ratios.
import { readFileSync } from 'node:fs';

const [mode, ...args] = process.argv.slice(2);

function measureAll(modulePath, loopPath) {
    const enosys = () => 52;
    const k = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(modulePath)), {
        wasi_snapshot_preview1: { fd_write: enosys, fd_seek: enosys, fd_close: enosys },
    }).exports;
    k._initialize();
    const source = readFileSync(loopPath);

    // A fresh machine holding the loop, the trace switch as asked.
    const prepare = (traced) => {
        k.kovar_new();
        const p = k.kovar_input(source.length);
        new Uint8Array(k.memory.buffer, p, source.length).set(source);
        if (k.kovar_assemble(p, source.length, 1) !== 0) throw new Error('the loop does not assemble');
        k.kovar_set_trace(traced ? 1 : 0);
    };
    // CPU time (as the native figures, so that other work on the machine
    // counts less) per instruction, over batches of `batch` calls that run
    // `per` instructions each: the median of 5 rounds of about 0.2 s after a
    // warm-up that lets the compiler settle. The trace is kept short outside
    // the timing, as natively.
    const measure = (traced, per, batch, call) => {
        prepare(traced);
        const round = (seconds) => {
            let n = 0;
            let spent = 0;
            while (spent < seconds * 1e9) {
                if (k.kovar_trace_count() > 200_000) k.kovar_clear_trace();
                const start = process.cpuUsage();
                for (let i = 0; i < batch; i++) call();
                const used = process.cpuUsage(start);
                spent += (used.user + used.system) * 1000;
                n += batch * per;
            }
            return spent / n;
        };
        round(0.5);
        return Array.from({ length: 5 }, () => round(0.2)).sort((a, b) => a - b)[2];
    };

    const decoder = new TextDecoder();
    return {
        BM_EngineStep: measure(false, 1, 20000, () => k.kovar_step()),
        BM_EngineStepTraced: measure(true, 1, 5000, () => k.kovar_step()),
        BM_EngineRun: measure(false, 1000, 20, () => k.kovar_run()),
        BM_EngineRunTraced: measure(true, 1000, 10, () => {
            const shown = k.kovar_trace_count();
            k.kovar_run();
            k.kovar_trace_since(shown);
        }),
        // Beyond the native figures: the lines also decoded into JavaScript
        // strings, as the page's trace pane takes them.
        RunTracedDecoded: measure(true, 1000, 10, () => {
            const shown = k.kovar_trace_count();
            k.kovar_run();
            const n = k.kovar_trace_since(shown);
            decoder.decode(new Uint8Array(k.memory.buffer, k.kovar_result(), n)).split('\n');
        }),
    };
}

// Google Benchmark's JSON: CPU nanoseconds per instruction by figure.
function nativeFigures(path) {
    const out = {};
    for (const b of JSON.parse(readFileSync(path, 'utf8')).benchmarks) {
        if (b.run_type === 'aggregate' && b.aggregate_name !== 'median') continue;
        out[b.run_name ?? b.name] = (b.cpu_time * { ns: 1, us: 1e3, ms: 1e6 }[b.time_unit]) /
            ((b.run_name ?? b.name).startsWith('BM_EngineRun') ? 1000 : 1);
    }
    return out;
}

const median = (values) => {
    const v = [...values].sort((a, b) => a - b);
    return v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
};

if (mode === 'measure') {
    console.log(JSON.stringify(measureAll(args[0], args[1])));
} else if (mode === 'report') {
    const rounds = [];
    for (let i = 0; i + 1 < args.length; i += 2)
        rounds.push([nativeFigures(args[i]), JSON.parse(readFileSync(args[i + 1], 'utf8'))]);
    const rows = [
        ['BM_EngineStep', 'F7, trace off', 3],
        ['BM_EngineStepTraced', 'F7, trace on', 4],
        ['BM_EngineRun', 'F9 per instruction, trace off', 3],
        ['BM_EngineRunTraced', 'F9 per instruction, trace on, lines fetched', 4],
        ['RunTracedDecoded', 'the same, lines decoded in JavaScript', null],
    ];
    console.log(`CPU ns per instruction, medians of ${rounds.length} alternating rounds`);
    console.log('figure'.padEnd(46) + 'native ns  wasm ns  ratio  bound');
    for (const [name, title, bound] of rows) {
        const n = rounds.map(([nat]) => nat[name]).filter((x) => x !== undefined);
        const w = rounds.map(([, wasm]) => wasm[name]);
        const ratio = n.length ? median(rounds.map(([nat, wasm]) => wasm[name] / nat[name])) : null;
        console.log(title.padEnd(46) + (n.length ? median(n).toFixed(1) : '-').padStart(9) +
            median(w).toFixed(1).padStart(9) + (ratio ? ratio.toFixed(2) + 'x' : '-').padStart(7) +
            (bound ? `  <= ${bound}x` : ''));
    }
} else {
    console.error('usage: engine_bench.mjs measure MODULE LOOP | report NATIVE.json WASM.json...');
    process.exit(2);
}
