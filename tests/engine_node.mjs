// The browser engine's C interface (web/engine/engine.h) as the page calls it:
// kovar-engine.wasm loaded under Node with nothing but the three imports it
// declares, driven through table-driven cases.
//
//   node engine_node.mjs KOVAR-ENGINE.wasm KOVAR3-RUN EXAMPLES-FOLDER
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';

const [modulePath, runnerPath, examples] = process.argv.slice(2);
const module = new WebAssembly.Module(readFileSync(modulePath));
const enosys = () => 52;
const k = new WebAssembly.Instance(module, {
    wasi_snapshot_preview1: { fd_write: enosys, fd_seek: enosys, fd_close: enosys },
}).exports;
k._initialize();

const [MEMORY, MARK, DS, RS, URD, PC, FL, IR] = [0, 1, 2, 3, 4, 5, 6, 7];
const put = (bytes) => {
    const b = typeof bytes === 'string' ? new TextEncoder().encode(bytes) : bytes;
    const p = k.kovar_input(b.length);
    new Uint8Array(k.memory.buffer, p, b.length).set(b);
    return [p, b.length];
};
const bytes = (n) => new Uint8Array(k.memory.buffer, k.kovar_result(), n).slice();
const text = (n) => new TextDecoder().decode(bytes(n));
const messages = () =>
    Array.from({ length: k.kovar_message_count() }, (_, i) => [
        k.kovar_message_kind(i),
        text(k.kovar_message(i)),
    ]);
const trace = () => {
    const n = k.kovar_trace_since(0);
    return n === 0 ? [] : text(n).split('\n');
};
const ERROR = 0;
const FAULT = 1;

test('the module imports only what the page gives it', () => {
    assert.deepEqual(
        WebAssembly.Module.imports(module).map((i) => `${i.module}.${i.name}`).sort(),
        ['wasi_snapshot_preview1.fd_close', 'wasi_snapshot_preview1.fd_seek',
            'wasi_snapshot_preview1.fd_write']);
    assert.equal(k.kovar_version(), 3);
});

test('every example runs as kovar3-run runs it', () => {
    for (const name of readdirSync(examples).filter((f) => f.endsWith('.kasm'))) {
        const file = join(examples, name);
        k.kovar_new();
        assert.equal(k.kovar_assemble(...put(readFileSync(file)), 1), 0, name);
        const stop = k.kovar_run();
        const expected = execFileSync(runnerPath, [file], { encoding: 'utf8' });
        assert.equal(trace().join('\n') + '\n', expected, name);
        assert.equal(stop, 1, name); // every example halts
    }
});

test('fields take hex text as the desktop fields do', () => {
    const cases = [
        // what, index, typed, stored, shown, messages
        [MEMORY, 7, '1a', 0x1a, '1A', []],
        [MEMORY, 1000, 'zz', 0, '00', [[ERROR, 'Ошибка ввода hex числа']]],
        [DS, 2, '1a', 26, '0000001A', []],
        [URD, 3, 'ffffffff', -1, 'FFFFFFFF', []],
        [RS, 15, '-5', 0, '00000000', [[ERROR, 'Ошибка ввода hex числа']]],
        [PC, 0, '123456789', 0, '00000000', [[ERROR, 'Ошибка ввода hex числа']]],
        [PC, 0, '', 0, '00000000', []],
        [MARK, 3, '2', 2, '02', []],
    ];
    for (const [what, index, typed, stored, shown, reported] of cases) {
        assert.equal(k.kovar_set_text(what, index, ...put(typed)), stored, typed);
        assert.deepEqual(messages(), reported, typed);
        assert.equal(k.kovar_get(what, index), stored);
        assert.equal(text(k.kovar_get_text(what, index)), shown);
    }
    assert.equal(k.kovar_get(DS, 16), 0); // out of range reads 0 ...
    assert.equal(k.kovar_set(DS, 16, 5), 0); // ... and takes nothing
});

test('the number converter answers as the desktop window', () => {
    const cases = [
        // field left, typed, dec, hex, bin, messages
        [0, '-1', '-1', 'FFFFFFFF', '1'.repeat(32), []],
        [0, '2147483648', '2147483648', 'FFFFFFFF', '1'.repeat(32),
            [[FAULT, "'2147483648' is not a valid integer value"]]],
        [0, '12a', '0', 'FFFFFFFF', '1'.repeat(32), [[ERROR, 'Ошибка при вводе десятичного числа']]],
        [1, 'ff', '255', 'ff', '11111111', []],
        [1, 'XYZ', '0', 'XYZ', '0000',
            [[ERROR, 'Ошибка ввода hex числа'], [ERROR, 'Ошибка ввода hex числа']]],
        [2, '10000', '16', '10', '10000', []],
        [2, '102', '0', '0', '102', [[ERROR, 'Ошибка ввода bin числа']]],
    ];
    for (const [field, typed, dec, hex, bin, reported] of cases) {
        k.kovar_convert(field, ...put(typed));
        assert.deepEqual(messages(), reported, typed);
        assert.deepEqual([0, 1, 2].map((f) => text(k.kovar_converter_text(f))), [dec, hex, bin],
            typed);
    }
});

test('the calculator converts and evaluates as the desktop window', () => {
    const cases = [
        // infix, A..D, postfix, answer (null: a fault), messages
        ['A+B*C', ['1', '2', '3', '0'], ' A B C * +', '   7.00000', []],
        ['(A+B)*(C-D)', ['1', '2', '3', '4'], ' A B + C D - *', '  -3.00000', []],
        ['1/3*3', ['0', '0', '0', '0'], ' 1 3 / 3 *', '   0.99999', []],
        ['12345678*1000', ['0', '0', '0', '0'], ' 12345678 1000 *', '1234567800', []],
        ['A*B', ['1e300', '1e300', '0', '0'], ' A B *', '1000000000', []],
        ['A/B', ['0.0', '0.0', '0', '0'], ' A B /', null,
            [[FAULT, 'Invalid floating point operation']]],
        ['A+B', ['1e400', '1', '0', '0'], ' A B +', null, [[FAULT, 'Floating point overflow']]],
        ['A,B', ['x', '0', '0', '0'], ' A', 'x', [[ERROR, 'Error']]],
    ];
    for (const [infix, values, postfix, answer, reported] of cases) {
        k.kovar_calc_set(6, ...put('previous'));
        values.forEach((v, i) => k.kovar_calc_set(2 + i, ...put(v)));
        k.kovar_calc_set(0, ...put(infix));
        const conversion = messages();
        assert.equal(text(k.kovar_calc_text(1)), postfix, infix);
        assert.equal(k.kovar_calc_evaluate(), answer === null ? 0 : 1, infix);
        assert.deepEqual([...conversion, ...messages()], reported, infix);
        assert.equal(text(k.kovar_calc_text(6)), answer ?? 'previous', infix);
    }
});

test('run, step back, restart and what they changed', () => {
    k.kovar_new();
    assert.equal(k.kovar_assemble(...put(
        'start: ALU UDR0, ZERO, a+c, carry=c1\n SAVE ZERO, UDR0, 40\n BRANCH start\n'), 1), 0);
    assert.equal(k.kovar_run(), 4); // no halt: the step limit
    assert.deepEqual(messages(), [[ERROR, 'MaxStep:1000']]);
    assert.equal(k.kovar_last_steps(), 1000);
    assert.equal(trace().at(-1), 'MaxStep:1000');
    const all = trace();
    assert.equal(text(k.kovar_trace_since(all.length - 2)), all.slice(-2).join('\n'));
    assert.equal(text(k.kovar_trace_range(3, 2)), all.slice(3, 5).join('\n'));
    assert.equal(k.kovar_trace_since(all.length), 0);
    const lines = k.kovar_trace_count();
    const image = bytes(k.kovar_save_image());
    assert.equal(image.length, 2148);

    k.kovar_clear_messages(); // shown: a step that reports nothing shows nothing
    k.kovar_step(); // the 1001st instruction, the SAVE: memory 40 and PC change
    assert.deepEqual(messages(), []);
    const flags = new Uint8Array(k.memory.buffer, k.kovar_changes(), 1039);
    assert.deepEqual([flags[40], flags[41], flags[1037], flags[1033]], [1, 0, 1, 0]);
    k.kovar_step(); // the BRANCH: PC alone
    assert.equal(k.kovar_changed(MEMORY, 40), 0);
    assert.equal(k.kovar_changed(PC, 0), 1);
    assert.equal(k.kovar_step_back(), 1);
    assert.equal(k.kovar_step_back(), 1);
    assert.equal(k.kovar_changed(MEMORY, 40), 1); // put back
    assert.equal(k.kovar_trace_count(), lines); // the lines of both steps are gone
    assert.deepEqual(bytes(k.kovar_save_image()), image);

    assert.equal(k.kovar_restart(), 1); // back to before the Run
    assert.equal(k.kovar_get(URD, 0), 0);
    assert.equal(k.kovar_get(PC, 0), 0);
    assert.equal(k.kovar_can_step_back(), 0);
    assert.equal(k.kovar_set(URD, 0, 9), 1); // an edit: a new history
    assert.equal(k.kovar_can_restart(), 0);
    assert.equal(k.kovar_unsaved(), 1);
    assert.equal(k.kovar_trace_find(...put('maxstep'), 0, 0, 1), lines - 1);
    assert.equal(k.kovar_trace_find(...put('maxstep'), 0, 0, 0), -1);
});

test('the source map answers by address and by line', () => {
    k.kovar_new();
    const source = '; sum\nstart: LOAD UDR1, ZERO, limit\n\n  halt\nlimit: .data 12, 13\n .space 3\n';
    assert.equal(k.kovar_assemble(...put(source), 1), 0);
    const n = k.kovar_asm_span_count();
    assert.deepEqual(Array.from(new Int32Array(k.memory.buffer, k.kovar_asm_spans(), 4 * n)),
        [0, 4, 2, 0, /**/ 4, 4, 4, 0, /**/ 8, 4, 5, 2, /**/ 12, 4, 5, 2, /**/ 16, 3, 6, 4]);
    assert.deepEqual(Array.from({ length: k.kovar_asm_label_count() }, (_, i) =>
        [text(k.kovar_asm_label_name(i)), k.kovar_asm_label_address(i), k.kovar_asm_label_line(i)]),
    [['start', 0, 2], ['limit', 8, 5]]);
    assert.deepEqual([0, 7, 13, 18, 19].map(k.kovar_asm_line_at), [2, 4, 5, 6, 0]);
    assert.deepEqual([2, 3, 4, 5].map(k.kovar_asm_instruction_of_line), [0, -1, 4, -1]);
    k.kovar_set(MEMORY, 5, 1); // the halt edited: its line no longer holds it
    assert.equal(k.kovar_asm_line_at(7), 0);
    assert.equal(k.kovar_assemble(...put('FOO'), 0), 1);
    assert.equal(k.kovar_asm_span_count(), 0);
});

test('images load with the desktop rules for short and long files', () => {
    k.kovar_new();
    k.kovar_set(FL, 0, 1);
    const generation = k.kovar_trace_generation();
    const full = Uint8Array.from({ length: 3000 }, (_, i) => (i * 7 + 1) & 0xff);
    k.kovar_load_image(...put(full));
    assert.deepEqual(bytes(k.kovar_save_image()), full.slice(0, 2148)); // the tail ignored
    assert.equal(k.kovar_get(FL, 0), 1); // FL is not in the file
    assert.equal(k.kovar_unsaved(), 0);
    k.kovar_load_image(...put(new Uint8Array(1500))); // zeros over the first 1500
    const after = bytes(k.kovar_save_image());
    assert.deepEqual(after.slice(0, 1500), new Uint8Array(1500));
    assert.deepEqual(after.slice(1500), full.slice(1500, 2148));
    assert.equal(k.kovar_trace_generation(), generation); // Load keeps the trace
});
