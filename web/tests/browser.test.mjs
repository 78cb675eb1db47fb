// The page in Debian's Chromium: what a user does, checked against the
// desktop's documented behaviour and against the native kovar3-run.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { launch, openPage, repoDir, serve } from "./support.mjs";

const kovar3Run = process.env.KOVAR3_RUN;
const kovar3Asm = process.env.KOVAR3_ASM;
const examplesDir = join(repoDir, "examples");
const examples = readdirSync(examplesDir).filter((f) => f.endsWith(".kasm")).sort();

let server;
let browser;

before(async () => {
  assert.ok(kovar3Run && kovar3Asm, "KOVAR3_RUN and KOVAR3_ASM must name the native programs");
  server = await serve();
  browser = await launch();
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

// ---- helpers: what a user does ----

async function fresh(url = server.url) {
  const context = await browser.newContext({ acceptDownloads: true });
  const page = await openPage(context, url);
  return { context, page };
}

// Closes the open dialogs one by one; returns their messages.
async function closeDialogs(page) {
  const texts = [];
  for (;;) {
    const dialog = page.locator("dialog[open]");
    if ((await dialog.count()) === 0) return texts;
    const handle = await dialog.elementHandle();
    texts.push(await dialog.locator(".dialog-message").textContent());
    await dialog.getByRole("button").first().click();
    // The next message opens when this dialog has gone (its close event
    // comes a moment after the click).
    await page.waitForFunction((d) => !d.isConnected, handle);
  }
}

async function downloaded(page, act) {
  const [download] = await Promise.all([page.waitForEvent("download"), act()]);
  return readFileSync(await download.path());
}

const traceFile = (page) => downloaded(page, () => page.getByRole("button", { name: "Сохранить трассу..." }).click());
const imageFile = (page) => downloaded(page, () => page.keyboard.press("F2"));

// Chooses a file and waits until the page has read it: the note above the
// views names it then (cleared first, for a file of the same name).
async function choose(page, act, name, buffer) {
  await page.locator(".file-note").evaluate((note) => (note.textContent = ""));
  const [chooser] = await Promise.all([page.waitForEvent("filechooser"), act()]);
  if (buffer.length <= 1 << 20) await chooser.setFiles({ name, mimeType: "application/octet-stream", buffer });
  else {
    // A large file goes by its path, as a user's file would.
    const dir = mkdtempSync(join(tmpdir(), "kovar-web-"));
    writeFileSync(join(dir, name), buffer);
    await chooser.setFiles(join(dir, name));
    rmSync(dir, { recursive: true });
  }
  await page.waitForFunction((end) => document.querySelector(".file-note").textContent.endsWith(end), `: ${name}`);
}

// The link to the program in the editor (made a moment after the click).
async function shareLink(page) {
  await page.getByRole("button", { name: "Ссылка на программу" }).click();
  const field = await page.getByLabel("Ссылка на программу").elementHandle();
  await page.waitForFunction((f) => f.value !== "", field);
  return field.inputValue();
}

async function openSource(page, name, text) {
  await choose(page, () => page.getByRole("button", { name: "Открыть..." }).click(), name, Buffer.from(text));
}

const editorText = async (page) => (await downloaded(page, () => page.getByRole("button", { name: "Сохранить как..." }).click())).toString();

async function assemble(page) {
  await page.getByRole("button", { name: "Ассемблировать" }).click();
  return page.locator(".asm-status").textContent();
}

const cell = (page, address) => page.getByLabel(address.toString(16).toUpperCase().padStart(8, "0"), { exact: true });

function native(args) {
  return execFileSync(kovar3Run, args, { encoding: "utf8" });
}

// ---- tests ----

describe("the machine", () => {
  test("the README's first program typed into memory cells, F7, then F9", async () => {
    const { context, page } = await fresh();
    const readme = readFileSync(join(repoDir, "README.md"), "utf8");
    const block = readme.slice(readme.indexOf("The trace pane reads"), readme.indexOf("TOS now holds"));
    const expected = block.split("\n").filter((l) => l.startsWith("       ")).map((l) => l.trim());
    assert.equal(expected.length, 7);

    await page.getByRole("tab", { name: "DS" }).click();
    await page.getByLabel("TOS", { exact: true }).fill("2");
    await page.getByLabel("SOS", { exact: true }).fill("3");
    await page.keyboard.press("Tab");
    await cell(page, 0).click();
    for (const byte of ["61", "01", "00", "4F", "FF", "FF", "FF", "FF"]) {
      await page.keyboard.type(byte);
      await page.keyboard.press("Tab");
    }
    await page.keyboard.press("F7");
    const rows = await page.locator(".trace-row").allTextContents();
    assert.deepEqual(rows.filter(Boolean), expected);
    assert.equal(await page.getByLabel("TOS", { exact: true }).inputValue(), "00000005");
    assert.equal(await page.getByLabel("PC", { exact: true }).inputValue(), "00000004");
    // Changed values are marked, unchanged ones are not.
    assert.match(await page.getByLabel("TOS", { exact: true }).getAttribute("class"), /changed/);
    assert.doesNotMatch(await cell(page, 0).getAttribute("class"), /changed/);

    await page.keyboard.press("F9");
    assert.equal((await traceFile(page)).toString(), [...expected, "Halt", ""].join("\n"));
    await context.close();
  });

  for (const name of examples)
    test(`${name}: assembled and run, the trace is kovar3-run's; stepping back reaches the start`, async () => {
      const { context, page } = await fresh();
      const file = join(examplesDir, name);
      await openSource(page, name, readFileSync(file, "utf8"));
      assert.match(await assemble(page), /^Готово: \d+ байт, PC = [0-9A-F]{8}$/);
      const start = await imageFile(page);
      // The image has the desktop's layout: the same bytes as kovar3-asm writes.
      const asmImage = join(tmpdir(), `kovar-web-${process.pid}-${name}.emu`);
      execFileSync(kovar3Asm, [file, "-o", asmImage]);
      assert.deepEqual(start, readFileSync(asmImage));

      await page.keyboard.press("F9");
      const messages = await closeDialogs(page);
      const trace = (await traceFile(page)).toString();
      assert.equal(trace, native([file]));
      if (trace.includes("MaxStep:1000")) assert.deepEqual(messages, ["MaxStep:1000"]);

      const back = page.getByRole("button", { name: "Шаг назад" });
      while (await back.isEnabled()) await page.keyboard.press("Shift+F7");
      assert.deepEqual(await imageFile(page), start);
      assert.equal(await page.locator(".trace-row").first().textContent(), "");
      await context.close();
    });

  test("the step limit is reported once: a Step or a step back after it reports nothing", async () => {
    const { context, page } = await fresh();
    await openSource(page, "loop.kasm", "loop: BRANCH loop\n");
    await assemble(page);
    await page.keyboard.press("F9");
    assert.deepEqual(await closeDialogs(page), ["MaxStep:1000"]);
    for (const key of ["F7", "Shift+F7"]) {
      await page.keyboard.press(key);
      assert.deepEqual(await closeDialogs(page), [], key);
    }
    await context.close();
  });

  test("Save then Load gives the same 2148 bytes; short and odd files load as on the desktop", async () => {
    const { context, page } = await fresh();
    await openSource(page, "sum.kasm", readFileSync(join(examplesDir, "sum.kasm"), "utf8"));
    await assemble(page);
    await page.keyboard.press("F9");
    const saved = await imageFile(page);
    assert.equal(saved.length, 2148);
    // Loaded into an emptied machine, the image comes back byte for byte.
    await page.getByRole("button", { name: "Новый" }).click();
    assert.equal((await imageFile(page)).filter((b) => b !== 0).length, 0);
    await choose(page, () => page.getByRole("button", { name: "Загрузить" }).click(), "sum.emu", saved);
    assert.deepEqual(await imageFile(page), saved);

    // Files of any size and content: the desktop's rule (the first 2148
    // bytes count, a short file fills what it reaches), never a frozen tab.
    const big = Buffer.alloc(100 * 1024 * 1024, 0x41);
    const cases = [
      { name: "empty.emu", bytes: Buffer.alloc(0), expect: saved },
      { name: "notes.txt", bytes: Buffer.from("text, not an image\n"), expect: Buffer.concat([Buffer.from("text, not an image\n"), saved.subarray(19)]) },
      { name: "huge.emu", bytes: big, expect: big.subarray(0, 2148) },
    ];
    for (const c of cases) {
      await choose(page, () => page.getByRole("button", { name: "Загрузить" }).click(), c.name, saved);
      const started = Date.now();
      await choose(page, () => page.getByRole("button", { name: "Загрузить" }).click(), c.name, c.bytes);
      const image = await imageFile(page);
      assert.ok(Date.now() - started < 5000, `${c.name} took ${Date.now() - started} ms`);
      // PC keeps 16 bits in the file; the other blocks are compared whole.
      assert.deepEqual(image, c.expect, c.name);
    }
    await context.close();
  });

  test("a typed value is converted by the engine with the desktop's messages", async () => {
    const { context, page } = await fresh();
    const cases = [
      { field: () => cell(page, 5), text: "7f", value: "7F", messages: [] },
      { field: () => cell(page, 6), text: "zz", value: "00", messages: ["Ошибка ввода hex числа"] },
      { field: () => page.getByLabel("PC", { exact: true }), text: "123456789", value: "00000000", messages: ["Ошибка ввода hex числа"] },
      { field: () => page.getByLabel("Dec", { exact: true }), text: "2147483648", value: "2147483648", messages: ["'2147483648' is not a valid integer value"] },
      { field: () => page.getByLabel("Hex", { exact: true }), text: "XYZ", value: "XYZ", messages: ["Ошибка ввода hex числа", "Ошибка ввода hex числа"] },
    ];
    for (const c of cases) {
      await c.field().fill(c.text);
      await page.getByRole("heading", { name: "Память" }).click();
      assert.deepEqual(await closeDialogs(page), c.messages, c.text);
      assert.equal(await c.field().inputValue(), c.value, c.text);
    }
    await page.getByLabel("Инфиксная запись").fill("A+B*C");
    await page.getByLabel("A:").fill("1");
    await page.getByLabel("B:").fill("2");
    await page.getByLabel("C:").fill("3");
    await page.getByRole("button", { name: "=" }).click();
    assert.equal(await page.getByLabel("Результат").inputValue(), "   7.00000");
    await context.close();
  });
});

describe("beyond the desktop", () => {
  test("a share link opens the same program; the text survives a reload", async () => {
    const { context, page } = await fresh();
    const source = readFileSync(join(examplesDir, "count.kasm"), "utf8");
    await openSource(page, "count.kasm", source);
    const link = await shareLink(page);
    assert.ok(link.startsWith(`${server.url}#p=`), link);
    await context.close();

    const other = await fresh(link);
    assert.equal(await editorText(other.page), source);
    assert.equal(new URL(other.page.url()).hash, "");
    await other.page.keyboard.press("F9");
    assert.equal((await traceFile(other.page)).toString(), native([join(examplesDir, "count.kasm")]));

    await other.page.locator(".cm-content").click();
    await other.page.keyboard.press("Control+End");
    await other.page.keyboard.type("\n; edited");
    await other.page.reload();
    await other.page.waitForSelector("html[data-ready]");
    assert.equal(await editorText(other.page), `${source}\n; edited`);
    // The program is still in memory.
    const image = join(tmpdir(), `kovar-web-${process.pid}-count.emu`);
    execFileSync(kovar3Asm, [join(examplesDir, "count.kasm"), "-o", image]);
    assert.equal(await cell(other.page, 0).inputValue(), readFileSync(image)[0].toString(16).toUpperCase().padStart(2, "0"));
    await other.context.close();
  });

  test("a second tab does not overwrite the first tab's work without saying so", async () => {
    const { context, page } = await fresh();
    await openSource(page, "a.kasm", "; first tab\n");
    const second = await openPage(context, server.url);
    const banner = second.getByRole("alert");
    await banner.waitFor();
    assert.match(await banner.textContent(), /другой вкладке/);
    await openSource(second, "b.kasm", "; second tab\n");
    await second.evaluate(() => new Promise((r) => setTimeout(r, 600)));
    const stored = await page.evaluate(() => JSON.parse(localStorage.getItem("kovar3.work")).source);
    assert.equal(stored, "; first tab\n");
    // Taking the work over is explicit, and the first tab then says so.
    await banner.getByRole("button").click();
    await page.getByRole("alert").waitFor();
    await context.close();
  });

  test("text from a program, a link or a file name is shown as text and runs nothing", async () => {
    const payload = '<img src=x onerror=alert(1)></script><script>alert(2)</script>';
    const { context, page } = await fresh();
    const alerts = [];
    page.on("dialog", (d) => {
      alerts.push(d.message());
      void d.dismiss();
    });
    await openSource(page, `${payload}.kasm`, `${payload}\n`);
    await assemble(page);
    assert.match(await page.locator(".asm-errors").textContent(), /неизвестная команда '<img'/);
    await choose(page, () => page.getByRole("button", { name: "Загрузить" }).click(), `${payload}.emu`, Buffer.alloc(10));
    assert.match(await page.locator(".file-note").textContent(), /<img src=x/);
    const link = await shareLink(page);
    await page.goto("about:blank");
    await page.goto(link);
    await page.waitForSelector("html[data-ready]");
    assert.equal(await editorText(page), `${payload}\n`);
    await page.goto("about:blank");
    await page.goto(`${server.url}#p=${encodeURIComponent(payload)}`);
    await page.waitForSelector("html[data-ready]");
    assert.deepEqual(await closeDialogs(page), ["Ссылка повреждена: программу из неё прочитать нельзя."]);
    assert.equal(await page.locator("img, body script").count(), 0);
    assert.deepEqual(alerts, []);
    await context.close();
  });

  test("only its own origin is asked, and nothing once cached (offline)", async () => {
    const own = await serve();
    const context = await browser.newContext();
    const foreign = [];
    const violations = [];
    context.on("request", (r) => {
      if (!r.url().startsWith(own.url) && !r.url().startsWith("blob:")) foreign.push(r.url());
    });
    const page = await context.newPage();
    page.on("console", (m) => m.type() === "error" && violations.push(m.text()));
    await page.goto(own.url);
    await page.waitForSelector("html[data-ready]");
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload();
    await page.waitForSelector("html[data-ready]");
    const seen = own.requests.length;
    await page.reload();
    await page.waitForSelector("html[data-ready]");
    assert.deepEqual(own.requests.slice(seen).filter((p) => p !== "/sw.js"), []);
    // Offline: the server is gone and the page still starts and steps.
    await own.stop();
    await page.reload();
    await page.waitForSelector("html[data-ready]");
    await page.keyboard.press("F7");
    assert.match(await page.locator(".trace-row").first().textContent(), /^PC: 00000000 IR: /);
    assert.deepEqual(foreign, []);
    assert.deepEqual(violations, []);
    await context.close();
  });

  for (const scheme of ["light", "dark"])
    test(`every text reads in the ${scheme} theme (contrast at least 4.5:1) and every control has a name`, async () => {
      const context = await browser.newContext({ colorScheme: scheme });
      const page = await openPage(context, server.url);
      await openSource(page, "sum.kasm", readFileSync(join(examplesDir, "sum.kasm"), "utf8"));
      await assemble(page);
      await page.keyboard.press("F7");
      const poor = await page.evaluate(() => {
        const rgb = (c) => c.match(/[\d.]+/g).map(Number);
        const lum = ([r, g, b]) => {
          const f = (v) => ((v /= 255) <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4);
          return 0.2126 * f(r) + 0.7152 * f(g) + 0.0722 * f(b);
        };
        const background = (e) => {
          for (; e; e = e.parentElement) {
            const c = rgb(getComputedStyle(e).backgroundColor);
            if (c.length < 4 || c[3] > 0) return c;
          }
          return [255, 255, 255];
        };
        const out = [];
        const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
        const seen = new Set();
        for (let n = walker.nextNode(); n; n = walker.nextNode()) {
          const e = n.parentElement;
          if (!n.textContent.trim() || seen.has(e) || !e.checkVisibility() || e.closest("button:disabled")) continue;
          seen.add(e);
          const a = lum(rgb(getComputedStyle(e).color));
          const b = lum(background(e));
          const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
          if (ratio < 4.5) out.push(`${e.className || e.tagName}: ${ratio.toFixed(2)} "${n.textContent.trim().slice(0, 20)}"`);
        }
        for (const input of document.querySelectorAll("input:not([type=checkbox]):not([type=range]):not([type=file])")) {
          if (!input.checkVisibility()) continue;
          const s = getComputedStyle(input);
          const a = lum(rgb(s.color));
          const b = lum(background(input));
          const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
          if (ratio < 4.5) out.push(`input ${input.id}: ${ratio.toFixed(2)}`);
        }
        return out;
      });
      assert.deepEqual(poor, []);

      const cdp = await context.newCDPSession(page);
      const { nodes } = await cdp.send("Accessibility.getFullAXTree");
      const controls = ["button", "textbox", "checkbox", "tab", "slider", "searchbox"];
      const unnamed = nodes.filter((n) => !n.ignored && controls.includes(n.role?.value) && !n.name?.value?.trim());
      assert.deepEqual(unnamed.map((n) => n.role.value), []);
      await context.close();
    });
});
