// Speed and memory of the simulator window: F9 on a looping program with the
// trace on, in the real window on the offscreen platform, from the key press
// until the views and the trace pane hold the result.
#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "app.h"
#include "asm_window.h"
#include "disassembler.h"
#include "listing_window.h"
#include "mem1.h"
#include "pic.h"
#include "show_error.h"
#include "trace_view.h"

namespace {

uint32_t word(unsigned cls, unsigned regB, unsigned regA, unsigned stack, unsigned low16) {
    return cls << 29 | regB << 24 | regA << 20 | stack << 16 | low16;
}

// Seven ALU and SHIFT instructions that push both stacks (8 trace lines a
// step each) and a branch back: about 7.5 lines a step, 7500 a Run.
void loadLoop(kovar::MachineState& st) {
    constexpr unsigned TOS = 0, SOS = 1, PUSH_BOTH = 5;
    for (unsigned i = 0; i < 7; ++i) {
        const uint32_t w = (i % 2 == 0) ? word(3, SOS, TOS, PUSH_BOTH, (1u << 8) | 0x4F)
                                        : word(3, SOS, TOS, PUSH_BOTH, 0x8000u | 0x10u);
        st.WriteInstructionWord(4 * i, w);
    }
    st.WriteInstructionWord(28, word(1, 0, 0, 0, 0));
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct Program {
    Program() {
        app = std::make_unique<KovarApp>();
        app->start();
        app->splash->Timer1Timer();
        if (!QTest::qWaitForWindowActive(app->form1.get()))
            qWarning("the simulator window did not become active");
        // The step-limit report would open a modal dialog: bring the views up
        // to date as the program does before showing it, without the dialog.
        TForm1* w = app->form1.get();
        previous = kovar::SetErrorHandler([w](std::string_view) { w->flushViews(); });
        loadLoop(app->state);
    }
    ~Program() { kovar::SetErrorHandler(previous); }
    void pressF9() {
        QTest::keyClick(app->form1.get(), Qt::Key_F9);
        QCoreApplication::processEvents(); // the repaint
    }
    std::unique_ptr<KovarApp> app;
    kovar::ErrorHandler previous;
};

// The pane starts empty (one warm-up Run lays out the window) and holds at
// most some 150 thousand lines by the end.
void BM_RunF9(benchmark::State& state) {
    Program p;
    p.pressF9();
    const std::size_t before = p.app->log.size();
    for (auto _ : state)
        p.pressF9();
    state.counters["lines_per_run"] =
        static_cast<double>(p.app->log.size() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RunF9)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Program text for the looping program (each instruction as the
// disassembler writes it), with `spread` comment lines before each and
// `before` and `after` the whole.
QString loopText(int spread, int before = 0, int after = 0) {
    kovar::MachineState st;
    loadLoop(st);
    const QString comment = QStringLiteral("; comment line, as a long program has many\n");
    QString text = comment.repeated(before);
    for (uint32_t a = 0; a <= 28; a += 4)
        text += comment.repeated(spread) +
                QString::fromStdString(kovar::Disassemble(st.ReadInstructionWord(a))) +
                QLatin1Char('\n');
    return text + comment.repeated(after);
}

// Shows the source window holding `text` and assembles it into memory.
void assembleInSourceWindow(Program& p, const QString& text) {
    AsmWindow* source = p.app->asmWindow.get();
    source->show();
    if (!QTest::qWaitForWindowExposed(source))
        qWarning("the source window was not shown");
    source->Editor->setPlainText(text);
    if (!source->AssembleClick())
        qWarning("the program text did not assemble");
    QCoreApplication::processEvents();
}

// BM_RunF9 with the source window open on the same program assembled from
// its text: the window follows PC and the marks after every Run.
void BM_RunF9WithSource(benchmark::State& state) {
    Program p;
    assembleInSourceWindow(p, loopText(0));
    p.pressF9();
    for (auto _ : state)
        p.pressF9();
    state.counters["running_line"] = p.app->asmWindow->Editor->runningLine();
}
BENCHMARK(BM_RunF9WithSource)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// One Step (F7) with a program of some 10,000 lines in the source window,
// with the window shown and hidden in turn: the counters give the median
// processor time of a press, repaint included, and the source window's
// share. Argument 0: the instructions stand together in the middle of the
// text; 1: each far from the next, so that every step scrolls the editor.
void BM_StepF7WithLongSource(benchmark::State& state) {
    Program p;
    AsmWindow* source = p.app->asmWindow.get();
    assembleInSourceWindow(p, state.range(0) == 0 ? loopText(0, 5000, 4992) : loopText(1250));
    source->Editor->setFocus();
    TForm1* w = p.app->form1.get();
    const auto timed = [&](bool shown) {
        source->setVisible(shown);
        QCoreApplication::processEvents();
        timespec t0{}, t1{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
        QTest::keyClick(w, Qt::Key_F7);
        QCoreApplication::processEvents();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
        return static_cast<double>(t1.tv_sec - t0.tv_sec) * 1e3 +
               static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e6;
    };
    std::vector<double> shown, hidden;
    for (auto _ : state) {
        shown.push_back(timed(true));
        hidden.push_back(timed(false));
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    state.counters["lines"] = source->Editor->blockCount();
    state.counters["shown_ms"] = median(shown);
    state.counters["hidden_ms"] = median(hidden);
    state.counters["source_window_ms"] = median(shown) - median(hidden);
}
BENCHMARK(BM_StepF7WithLongSource)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(200);

// The same with the listing window open beside the main window: it follows
// PC and memory after every Run.
// With argument 1 every visible row is repainted after each Run, as when a
// Run has changed the memory under all of them (the worst case).
void BM_RunF9WithListing(benchmark::State& state) {
    Program p;
    ListingWindow* listing = p.app->listingWindow.get();
    listing->show();
    if (!QTest::qWaitForWindowExposed(listing))
        qWarning("the listing window was not shown");
    const bool repaintAll = state.range(0) != 0;
    p.pressF9();
    for (auto _ : state) {
        if (repaintAll)
            listing->View->viewport()->update();
        p.pressF9();
    }
    state.counters["listing_rows"] = listing->View->visibleRows();
}
BENCHMARK(BM_RunF9WithListing)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same with a million lines already in the pane; also the growth of the
// process per trace line while the pane fills up.
void BM_RunF9AfterMillionLines(benchmark::State& state) {
    Program p;
    const long before = residentBytes();
    while (p.app->log.size() < 1'000'000)
        p.pressF9();
    const long after = residentBytes();
    const double perLine =
        static_cast<double>(after - before) / static_cast<double>(p.app->log.size());
    for (auto _ : state)
        p.pressF9();
    state.counters["bytes_per_line"] = perLine;
    state.counters["lines"] = static_cast<double>(p.app->log.size());
}
BENCHMARK(BM_RunF9AfterMillionLines)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// F7 and F9 with the step-back journal attached (as the program runs) and
// detached, on the same looping program. The two alternate inside one
// window, press by press, so that drift of a busy machine hits both alike;
// the counters give the median processor time of each and their ratio, and the
// journal's bytes per recorded instruction once it holds its full depth.
void pressBoth(benchmark::State& state, Qt::Key key, int pressesPerSample) {
    Program p;
    TForm1* w = p.app->form1.get();
    kovar::History& history = w->history();
    const auto press = [&] {
        for (int i = 0; i < pressesPerSample; ++i) {
            QTest::keyClick(w, key);
            QCoreApplication::processEvents();
        }
    };
    const auto timed = [&](bool on) {
        w->processor().setHistory(on ? &history : nullptr);
        // Processor time of the process: other programs on a busy machine
        // do not count.
        timespec t0{}, t1{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
        press();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
        return static_cast<double>(t1.tv_sec - t0.tv_sec) * 1e3 +
               static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e6;
    };
    p.pressF9();
    std::vector<double> on, off;
    for (auto _ : state) {
        on.push_back(timed(true));
        off.push_back(timed(false));
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double perPress = static_cast<double>(pressesPerSample);
    state.counters["with_history_ms"] = median(on) / perPress;
    state.counters["without_history_ms"] = median(off) / perPress;
    state.counters["ratio"] = median(on) / median(off);
    state.counters["history_bytes_per_instruction"] =
        static_cast<double>(history.memoryBytes()) / static_cast<double>(history.size());
    state.counters["history_instructions"] = static_cast<double>(history.size());
}

void BM_F7WithAndWithoutHistory(benchmark::State& state) {
    pressBoth(state, Qt::Key_F7, 20);
}
BENCHMARK(BM_F7WithAndWithoutHistory)->Unit(benchmark::kMillisecond)->Iterations(300);

void BM_F9WithAndWithoutHistory(benchmark::State& state) {
    pressBoth(state, Qt::Key_F9, 1);
}
BENCHMARK(BM_F9WithAndWithoutHistory)->Unit(benchmark::kMillisecond)->Iterations(150);

// One tick of the animated run at its top speed (1000 instructions a
// second) on the looping program, with the trace on: the instructions the
// tick runs and the redraw of the views and the trace pane after it. Input
// that arrives during a tick waits for it to end, so its processor time is
// the longest the window leaves the user's input waiting. The animation is
// restarted whenever it reaches the step limit, outside the timing.
void BM_AnimationTick(benchmark::State& state) {
    Program p;
    TForm1* w = p.app->form1.get();
    p.pressF9();
    w->setAnimationSpeed(1000);
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    qint64 steps = 0;
    double worst = 0;
    for (auto _ : state) {
        if (!w->isAnimating()) {
            state.PauseTiming();
            QTest::keyClick(w, Qt::Key_F8);
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        const qint64 before = w->stepCount();
        double spent = 0;
        while (w->stepCount() == before && w->isAnimating()) {
            const double t0 = cpuMs();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QCoreApplication::processEvents(); // the repaint the tick asked for
            spent += cpuMs() - t0;
        }
        steps += w->stepCount() - before;
        worst = std::max(worst, spent);
        state.SetIterationTime(spent / 1e3);
    }
    state.counters["steps_per_tick"] =
        static_cast<double>(steps) / static_cast<double>(state.iterations());
    state.counters["worst_tick_ms"] = worst;
}
BENCHMARK(BM_AnimationTick)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Scrolling through a million lines: one page step of the trace pane.
void BM_ScrollMillionLines(benchmark::State& state) {
    Program p;
    while (p.app->log.size() < 1'000'000)
        p.pressF9();
    TraceView* pane = p.app->form1->MemoDeb;
    QScrollBar* bar = pane->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + 5003) % (bar->maximum() + 1);
        bar->setValue(position);
        pane->viewport()->repaint();
    }
}
BENCHMARK(BM_ScrollMillionLines)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Where the windows were left is kept apart from the user's settings.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
