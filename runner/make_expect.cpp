#include "make_expect.h"

#include <algorithm>
#include <set>

#include "hex_op.h"
#include "show_error.h"
#include "trace_log.h"

namespace kovar::runner {

namespace {

using Target = Expectation::Target;

std::string line(Target target, uint32_t index, const std::string& value) {
    Expectation e;
    e.target = target;
    e.index = index;
    return e.name() + " = " + value + "\n";
}

std::string signedText(int32_t v) {
    return std::to_string(v);
}

// The expect lines of a final state, `start` being the machine the run began
// with and `saved` the addresses its SAVEs wrote.
std::string finalState(const MachineState& start, const MachineState& end,
                       const std::set<uint32_t>& saved, const char* prefix) {
    std::string out;
    const auto add = [&](Target t, uint32_t index, const std::string& value) {
        out += prefix + line(t, index, value);
    };
    add(Target::PC, 0, "0x" + IntToHexMin(end.PC));
    add(Target::FL, 0, end.FL ? "1" : "0");
    for (uint32_t i = 0; i < kStackDepth; ++i)
        if (end.DS[i] != 0)
            add(Target::DS, i, signedText(end.DS[i]));
    for (uint32_t i = 0; i < kStackDepth; ++i)
        if (end.RS[i] != 0)
            add(Target::RS, i, signedText(end.RS[i]));
    for (uint32_t i = 0; i < kUserRegisters; ++i)
        if (end.URD[i] != 0)
            add(Target::URD, i, signedText(end.URD[i]));
    constexpr uint32_t kLastWord = kMemorySize - 4;
    for (const uint32_t a : saved) {
        if (a <= kLastWord) {
            if (end.ReadDataWord(a) != start.ReadDataWord(a))
                add(Target::DataWord, a, signedText(static_cast<int32_t>(end.ReadDataWord(a))));
            continue;
        }
        // A word reaching past the end of memory: its bytes inside, one by one.
        for (uint32_t k = 0; k < 4; ++k) {
            const uint32_t b = a + k;
            if (MachineState::InMemory(b) && end.ReadByte(b) != start.ReadByte(b))
                add(Target::Byte, b, std::to_string(end.ReadByte(b)));
        }
    }
    return out;
}

std::string stopComment(const RunOutcome& o) {
    const std::string n = std::to_string(o.steps);
    if (o.stop == "halt")
        return "# The run ended at the halt word after " + n + " steps.\n";
    if (o.stop == "breakpoint")
        return "# The run stopped at a breakpoint after " + n + " steps.\n";
    if (o.stop == "limit")
        return "# The run reached the step limit of " + n + " steps: does the program end?\n";
    return "# After " + n + " single steps.\n";
}

} // namespace

std::string MakeExpectations(const std::string& image, const MachineState& loaded,
                             const RunSettings& settings, const TestFile& file,
                             const std::string& checkOptions) {
    std::string out = "# Expected final state of " + image +
                      ", made by kovar3-run --make-expect.\n"
                      "# Check with: kovar3-run " +
                      (checkOptions.empty() ? "" : checkOptions + " ") + "--expect FILE IMAGE...\n";
    // The step limit is a stop reason written into the file, not a message.
    ErrorHandler previous = SetErrorHandler([](std::string_view) {});
    for (const TestCase& test : file.tests) {
        const MachineState start = StartOfTest(loaded, settings, file, test);
        MachineState st = start;
        std::set<uint32_t> saved;
        TraceLog log;
        // The trace names every address a SAVE writes; nothing else is kept.
        log.setSink([&saved](std::string_view text) {
            constexpr std::string_view kSave = "Save to adress: ";
            if (text.substr(0, kSave.size()) == kSave)
                saved.insert(static_cast<uint32_t>(HexToIntRaw(text.substr(kSave.size()))));
        });
        Processor cpu(st, log);
        const RunOutcome outcome = RunProgram(cpu, settings);
        if (!file.cases) {
            out += stopComment(outcome) + finalState(start, st, saved, "");
            continue;
        }
        out += "\n[case " + test.name + "]\n" + stopComment(outcome);
        for (const Expectation& e : test.inputs)
            out += "set " + e.name() + " = " + e.text + "\n";
        out += finalState(start, st, saved, "expect ");
    }
    SetErrorHandler(std::move(previous));
    return out;
}

} // namespace kovar::runner
