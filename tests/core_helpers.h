// Helpers shared by the core tests: instruction words assembled from named
// fields, a views recorder that logs every refresh in order, a machine bundle
// and a recorder for ShowError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "machine_state.h"
#include "processor.h"
#include "show_error.h"
#include "test_support.h"
#include "trace_log.h"
#include "views.h"

namespace kovar::test {

using ErrorRecorder = MessageRecorder;

// clang-format off
// Register selector codes.
enum Reg : uint32_t {
    TOS, SOS, OS3, OS4, TOR, SOR, OR3, OR4, URD0, URD1, URD2, URD3, PC, PSW, ZERO, NONE
};
// Stack action codes.
enum StackAct : uint32_t {
    PushDS, PopDS, PushRS, PopRS, PopDSRS, PushDSRS, PushDSPopRS, PopDSPushRS, NoStack
};
// clang-format on

// Shift directions and SHIFT combine operations.
enum Dir : uint32_t { Left = 0, Right = 1, NoShift = 2, NoShift3 = 3 };
enum Combine : uint32_t { BPlusC = 0, BMinusAMinusC = 1, APlusBPlusC = 2, APlusBPlusC3 = 3 };

// ALU operation codes used by name in the tests.
inline constexpr uint32_t OpAnd = 0x55;
inline constexpr uint32_t OpMinusOne = 0x22;
inline constexpr uint32_t OpPassB = 0x2C;
inline constexpr uint32_t OpAPlusCarry = 0x43;
inline constexpr uint32_t OpAMinusNotCarry = 0x4B;
inline constexpr uint32_t OpAPlusBPlusCarry = 0x4F;

// Condition codes used by name.
inline constexpr uint32_t CondNever = 0, CondAlways = 1, CondGt0 = 6, CondLe0 = 7, CondZ = 8,
                          CondNotZ = 9, CondLess = 12, CondC = 14;

inline constexpr uint32_t Bit(bool b, unsigned pos) {
    return (b ? 1u : 0u) << pos;
}
inline constexpr uint32_t Target(uint32_t t) {
    return t & 0x1FFFFFFFu;
}

inline constexpr uint32_t Call(uint32_t target) {
    return (0u << 29) | Target(target);
}
inline constexpr uint32_t Branch(uint32_t target) {
    return (1u << 29) | Target(target);
}
inline constexpr uint32_t BranchC(uint32_t target) {
    return (2u << 29) | Target(target);
}

// Fields in layout order, bit 28 first.
struct AluFields {
    bool ret = false;
    Reg b = ZERO;
    Reg a = ZERO;
    StackAct stack = NoStack;
    bool flResult = false; // bit 14
    uint32_t cond = 0;     // bits 13..10
    uint32_t carry = 0;    // bits 9..8
    bool setFL = false;    // bit 7
    uint32_t op = 0;       // bits 6..0
};
inline constexpr uint32_t Alu(const AluFields& f) {
    return (3u << 29) | Bit(f.ret, 28) | (uint32_t{f.b} << 24) | (uint32_t{f.a} << 20) |
           (uint32_t{f.stack} << 16) | Bit(f.flResult, 14) | ((f.cond & 15u) << 10) |
           ((f.carry & 3u) << 8) | Bit(f.setFL, 7) | (f.op & 0x7Fu);
}

struct ShiftFields {
    bool ret = false;
    Reg b = ZERO;
    Reg a = ZERO;
    StackAct stack = NoStack;
    bool noWrite = false;     // bit 14
    uint32_t cond = 0;        // bits 13..10, not used by SHIFT
    uint32_t carry = 0;       // bits 9..8
    bool setFL = false;       // bit 7, not used by SHIFT
    Dir dir = NoShift;        // bits 6..5
    bool noFill = false;      // bit 4
    Combine combine = BPlusC; // bits 3..2
    bool flFromOut = false;   // bit 1
};
inline constexpr uint32_t Shift(const ShiftFields& f) {
    return (3u << 29) | Bit(f.ret, 28) | (uint32_t{f.b} << 24) | (uint32_t{f.a} << 20) |
           (uint32_t{f.stack} << 16) | (1u << 15) | Bit(f.noWrite, 14) | ((f.cond & 15u) << 10) |
           ((f.carry & 3u) << 8) | Bit(f.setFL, 7) | (uint32_t{f.dir} << 5) | Bit(f.noFill, 4) |
           (uint32_t{f.combine} << 2) | Bit(f.flFromOut, 1);
}

// LOAD, SAVE, LAL and LAH share one layout.
struct MemFields {
    bool ret = false;
    Reg b = ZERO;
    Reg a = ZERO;
    StackAct stack = NoStack;
    uint32_t offset = 0;
};
inline constexpr uint32_t MemWord(uint32_t cls, const MemFields& f) {
    return (cls << 29) | Bit(f.ret, 28) | (uint32_t{f.b} << 24) | (uint32_t{f.a} << 20) |
           (uint32_t{f.stack} << 16) | (f.offset & 0xFFFFu);
}
inline constexpr uint32_t Load(const MemFields& f) {
    return MemWord(4, f);
}
inline constexpr uint32_t Save(const MemFields& f) {
    return MemWord(5, f);
}
inline constexpr uint32_t Lal(const MemFields& f = {}) {
    return MemWord(6, f);
}
inline constexpr uint32_t Lah(const MemFields& f = {}) {
    return MemWord(7, f);
}

inline constexpr uint32_t kHalt = 0xFFFFFFFFu;

inline int32_t W(uint32_t u) {
    return static_cast<int32_t>(u);
}

inline std::string Hex8(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v));
    return buf;
}

// Logs every refresh by name, with the number of trace lines written before it,
// so that refreshes can be placed between the trace lines.
class RecordingViews : public MachineViews {
public:
    explicit RecordingViews(const TraceLog* log = nullptr) : log_(log) {}
    void RefreshMem() override { add("[Mem]"); }
    void RefreshStack(StackId id) override { add(id == StackId::DS ? "[DS]" : "[RS]"); }
    void RefreshURD() override { add("[URD]"); }
    void RefreshPC() override { add("[PC]"); }
    void clear() {
        calls.clear();
        at.clear();
    }
    std::vector<std::string> calls;
    std::vector<std::size_t> at;

private:
    void add(const char* name) {
        calls.emplace_back(name);
        at.push_back(log_ != nullptr ? log_->size() : 0);
    }
    const TraceLog* log_;
};

inline std::vector<std::string> Lines(const TraceLog& log) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.size(); ++i)
        out.emplace_back(log.line(i));
    return out;
}

// A processor with its own state, trace log and recording views.
struct Machine {
    MachineState st;
    TraceLog log;
    RecordingViews views{&log};
    Processor cpu{st, log, &views};

    // Executes one word as the instruction in IR.
    void Exec(uint32_t word) {
        st.IR.set(word);
        cpu.parser();
    }
    void Forget() {
        log.Clear();
        views.clear();
    }
    // Trace lines with the refreshes placed where they happened.
    std::vector<std::string> Timeline() const {
        std::vector<std::string> out;
        std::size_t v = 0;
        for (std::size_t i = 0; i <= log.size(); ++i) {
            while (v < views.calls.size() && views.at[v] == i)
                out.push_back(views.calls[v++]);
            if (i < log.size())
                out.emplace_back(log.line(i));
        }
        return out;
    }
};

} // namespace kovar::test
