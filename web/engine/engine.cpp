// The browser edition's engine (engine.h): one machine driven as the
// simulator window drives it, with the same study aids (step back, restart,
// highlights of what a command changed), and the tools without windows.
#include "engine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "assembler.h"
#include "converter.h"
#include "disassembler.h"
#include "hex_op.h"
#include "history.h"
#include "machine_state.h"
#include "memory_image.h"
#include "processor.h"
#include "rpn.h"
#include "show_error.h"
#include "trace_log.h"
#include "views.h"

namespace {

using namespace kovar;

constexpr int32_t kInterfaceVersion = 3;

struct Message {
    std::string text;
    int32_t kind;
};

// The converter's three fields as plain texts; faults join the messages.
class TextFields : public ConverterFields {
public:
    explicit TextFields(std::vector<Message>& messages) : messages_(messages) {}
    std::string Text(Field field) const override { return texts_[field]; }
    void SetText(Field field, const std::string& text) override { texts_[field] = text; }
    void ShowFault(const std::string& message) override {
        messages_.push_back({message, KOVAR_MESSAGE_FAULT});
    }

private:
    std::array<std::string, 3> texts_{"0", "0", "0"};
    std::vector<Message>& messages_;
};

class Engine : public MachineViews {
public:
    Engine() : cpu_(st_, log_, this), converter_(messages_) {
        cpu_.setHistory(&history_);
        SetErrorHandler([this](std::string_view m) {
            messages_.push_back({std::string(m), KOVAR_MESSAGE_ERROR});
        });
        calc_[KOVAR_CALC_A] = calc_[KOVAR_CALC_B] = calc_[KOVAR_CALC_C] = calc_[KOVAR_CALC_D] =
            "0.0";
        shadowMemory_ = st_.Memory;
    }

    // ---- text going out and in, messages
    std::string result;
    std::vector<char> input;
    std::vector<Message> messages_;
    uint32_t give(std::string text) {
        result = std::move(text);
        return static_cast<uint32_t>(result.size());
    }
    void beginReport() { messages_.clear(); }

    // ---- the machine
    MachineState st_;
    TraceLog log_;
    History history_;
    Processor cpu_;
    std::optional<MachineState> restartPoint_;
    bool unsaved_ = false;
    RunReport lastRun_;

    // The memory view's door: a SAVE tells that memory may have changed.
    void RefreshMem() override { memoryTouched_ = true; }

    // Edits and replacements begin a new history, as on the desktop.
    void startNewHistory() {
        history_.Clear();
        restartPoint_.reset();
    }
    void userEdited() {
        unsaved_ = true;
        startNewHistory();
    }
    void machineReplaced() {
        startNewHistory();
        clearChanges();
        memoryTouched_ = true; // the shadow must be taken again
    }

    // ---- what the last command changed. The registers are noted before
    // every command; memory only when a command may have changed it since
    // the last note, so that a step that stores nothing copies no memory.
    struct Registers {
        Stack ds, rs;
        std::array<int32_t, kUserRegisters> urd;
        int32_t pc;
        bool fl;
    };
    Registers before_{};
    std::array<uint8_t, kMemorySize> shadowMemory_{};
    bool memoryTouched_ = false;
    bool changesStale_ = false;
    std::array<uint8_t, KOVAR_CHANGES_SIZE> changes_{};

    void beginCommand() {
        if (memoryTouched_) {
            shadowMemory_ = st_.Memory;
            memoryTouched_ = false;
        }
        before_ = {st_.DS, st_.RS, st_.URD, st_.PC, st_.FL};
        changesStale_ = true;
    }
    void clearChanges() {
        changes_.fill(0);
        changesStale_ = false;
    }
    const uint8_t* changes() {
        if (!changesStale_)
            return changes_.data();
        changesStale_ = false;
        for (int a = 0; a < kMemorySize; ++a)
            changes_[a] = memoryTouched_ && shadowMemory_[a] != st_.Memory[a];
        for (int i = 0; i < kStackDepth; ++i) {
            changes_[KOVAR_CHANGES_DS + i] = before_.ds[i] != st_.DS[i];
            changes_[KOVAR_CHANGES_RS + i] = before_.rs[i] != st_.RS[i];
        }
        for (int i = 0; i < kUserRegisters; ++i)
            changes_[KOVAR_CHANGES_URD + i] = before_.urd[i] != st_.URD[i];
        changes_[KOVAR_CHANGES_PC] = before_.pc != st_.PC;
        changes_[KOVAR_CHANGES_FL] = before_.fl != st_.FL;
        return changes_.data();
    }
    // The offset of a place in the changes, or -1.
    static int changeOffset(int32_t what, int32_t index) {
        switch (what) {
        case KOVAR_MEMORY: return index >= 0 && index < kMemorySize ? index : -1;
        case KOVAR_DS: return index >= 0 && index < kStackDepth ? KOVAR_CHANGES_DS + index : -1;
        case KOVAR_RS: return index >= 0 && index < kStackDepth ? KOVAR_CHANGES_RS + index : -1;
        case KOVAR_URD:
            return index >= 0 && index < kUserRegisters ? KOVAR_CHANGES_URD + index : -1;
        case KOVAR_PC: return index == 0 ? KOVAR_CHANGES_PC : -1;
        case KOVAR_FL: return index == 0 ? KOVAR_CHANGES_FL : -1;
        default: return -1;
        }
    }

    // A Step or Run command: the restart point is the state before the
    // first one after an edit.
    void studyCommand() {
        if (!restartPoint_)
            restartPoint_ = st_;
        beginCommand();
    }

    // ---- values by place
    int32_t* word(int32_t what, int32_t index) {
        switch (what) {
        case KOVAR_DS:
            return index >= 0 && index < kStackDepth ? &st_.DS[static_cast<size_t>(index)]
                                                     : nullptr;
        case KOVAR_RS:
            return index >= 0 && index < kStackDepth ? &st_.RS[static_cast<size_t>(index)]
                                                     : nullptr;
        case KOVAR_URD:
            return index >= 0 && index < kUserRegisters ? &st_.URD[static_cast<size_t>(index)]
                                                        : nullptr;
        case KOVAR_PC: return index == 0 ? &st_.PC : nullptr;
        default: return nullptr;
        }
    }
    uint8_t* byte(int32_t what, int32_t index) {
        if (index < 0 || index >= kMemorySize)
            return nullptr;
        if (what == KOVAR_MEMORY)
            return &st_.Memory[static_cast<size_t>(index)];
        if (what == KOVAR_MARK)
            return &st_.BreakpointMarks[static_cast<size_t>(index)];
        return nullptr;
    }
    int32_t get(int32_t what, int32_t index) {
        if (const uint8_t* b = byte(what, index))
            return *b;
        if (const int32_t* w = word(what, index))
            return *w;
        if (index != 0)
            return 0;
        switch (what) {
        case KOVAR_FL: return st_.FL ? 1 : 0;
        case KOVAR_IR: return static_cast<int32_t>(st_.IR.word());
        case KOVAR_C: return st_.C;
        case KOVAR_IR_FETCHED: return st_.IR.empty() ? 0 : 1;
        default: return 0;
        }
    }
    int32_t set(int32_t what, int32_t index, int32_t value) {
        changes(); // what the last command changed, before the edit
        bool changed = false;
        if (uint8_t* b = byte(what, index)) {
            const auto v = static_cast<uint8_t>(value & 0xFF);
            changed = std::exchange(*b, v) != v;
            if (what == KOVAR_MEMORY && changed) {
                memoryTouched_ = true;
                sourceMap_.DropBytes(static_cast<uint32_t>(index), 1);
            }
        } else if (int32_t* w = word(what, index)) {
            changed = std::exchange(*w, value) != value;
        } else if (what == KOVAR_FL && index == 0) {
            changed = std::exchange(st_.FL, value != 0) != (value != 0);
        } else {
            return 0;
        }
        // Typing into a field clears its highlight; a change is the user's edit.
        if (const int offset = changeOffset(what, index); offset >= 0)
            changes_[static_cast<size_t>(offset)] = 0;
        if (changed)
            userEdited();
        return changed ? 1 : 0;
    }

    // ---- tools
    TextFields converter_;
    calc::PostfixList postfix_;
    std::array<std::string, 7> calc_{};
    AssembleResult assembly_;
    SourceMap sourceMap_;
    std::vector<int32_t> spanTable_; // the map's items as quadruples

    void setSourceMap(SourceMap map) {
        sourceMap_ = std::move(map);
        spanTable_.clear();
        for (const AsmSpan& s : sourceMap_.spans())
            spanTable_.insert(spanTable_.end(),
                              {static_cast<int32_t>(s.address), static_cast<int32_t>(s.size),
                               s.line, static_cast<int32_t>(s.kind)});
    }
};

Engine& engine() {
    static Engine e;
    return e;
}

std::string_view view(const char* text, uint32_t length) {
    return text == nullptr ? std::string_view() : std::string_view(text, length);
}

} // namespace

extern "C" {

int32_t kovar_version(void) {
    return kInterfaceVersion;
}

char* kovar_input(uint32_t size) {
    if (size > kMaxSourceBytes + 1)
        return nullptr; // no text the engine takes is longer
    std::vector<char>& in = engine().input;
    if (in.size() < static_cast<std::size_t>(size) + 1)
        in.resize(static_cast<std::size_t>(size) + 1);
    return in.data();
}

const char* kovar_result(void) {
    return engine().result.c_str();
}

int32_t kovar_message_count(void) {
    return static_cast<int32_t>(engine().messages_.size());
}

uint32_t kovar_message(int32_t index) {
    Engine& e = engine();
    if (index < 0 || static_cast<std::size_t>(index) >= e.messages_.size())
        return e.give({});
    return e.give(e.messages_[static_cast<std::size_t>(index)].text);
}

int32_t kovar_message_kind(int32_t index) {
    const Engine& e = engine();
    if (index < 0 || static_cast<std::size_t>(index) >= e.messages_.size())
        return KOVAR_MESSAGE_ERROR;
    return e.messages_[static_cast<std::size_t>(index)].kind;
}

void kovar_clear_messages(void) {
    engine().beginReport();
}

// ---- the machine: reading and writing

int32_t kovar_get(int32_t what, int32_t index) {
    return engine().get(what, index);
}

int32_t kovar_set(int32_t what, int32_t index, int32_t value) {
    return engine().set(what, index, value);
}

uint32_t kovar_get_text(int32_t what, int32_t index) {
    Engine& e = engine();
    const int32_t value = e.get(what, index);
    switch (what) {
    case KOVAR_MEMORY:
    case KOVAR_MARK: return e.give(IntToHexBytes(value, 1));
    case KOVAR_FL:
    case KOVAR_C:
    case KOVAR_IR_FETCHED: return e.give(value != 0 ? "1" : "0");
    case KOVAR_IR: return e.give(e.st_.IR.text());
    default: return e.give(IntToHexBytes(value, 4));
    }
}

int32_t kovar_set_text(int32_t what, int32_t index, const char* text, uint32_t length) {
    Engine& e = engine();
    e.beginReport();
    const int32_t value = HexToInt(view(text, length));
    e.set(what, index, value);
    return e.get(what, index);
}

int32_t kovar_toggle_mark(int32_t address) {
    Engine& e = engine();
    const int32_t mark = e.get(KOVAR_MARK, address);
    e.set(KOVAR_MARK, address, mark ^ 1);
    return e.get(KOVAR_MARK, address);
}

const uint8_t* kovar_memory(void) {
    return engine().st_.Memory.data();
}
const uint8_t* kovar_marks(void) {
    return engine().st_.BreakpointMarks.data();
}
const int32_t* kovar_stack(int32_t what) {
    Engine& e = engine();
    return what == KOVAR_RS ? e.st_.RS.data() : e.st_.DS.data();
}
const int32_t* kovar_urd(void) {
    return engine().st_.URD.data();
}

// ---- commands

void kovar_step(void) {
    Engine& e = engine();
    e.studyCommand();
    e.cpu_.StepPrg();
}

namespace {
int32_t stopBits(const RunReport& r) {
    return (r.halt ? KOVAR_STOP_HALT : 0) | (r.breakpoint ? KOVAR_STOP_BREAKPOINT : 0) |
           (r.maxStep ? KOVAR_STOP_MAXSTEP : 0);
}
} // namespace

int32_t kovar_run(void) {
    Engine& e = engine();
    e.beginReport();
    e.studyCommand();
    e.lastRun_ = e.cpu_.RunPrg();
    return stopBits(e.lastRun_);
}

int32_t kovar_continue(void) {
    Engine& e = engine();
    e.beginReport();
    e.studyCommand();
    // The marked instruction runs once; the rest is an ordinary Run with its
    // full step limit.
    const bool marked = e.st_.IsBreakpoint(e.st_.PC);
    if (marked)
        e.cpu_.StepPrg();
    e.lastRun_ = e.cpu_.RunPrg();
    e.lastRun_.steps += marked ? 1 : 0;
    return stopBits(e.lastRun_);
}

int32_t kovar_last_steps(void) {
    return static_cast<int32_t>(engine().lastRun_.steps);
}

int32_t kovar_step_back(void) {
    Engine& e = engine();
    if (e.history_.empty())
        return 0;
    e.beginCommand();
    e.memoryTouched_ = true; // an undone SAVE puts bytes back
    e.history_.Undo(e.st_, e.log_);
    return 1;
}

int32_t kovar_restart(void) {
    Engine& e = engine();
    if (!e.restartPoint_)
        return 0;
    e.beginCommand();
    e.memoryTouched_ = true;
    e.st_ = *e.restartPoint_;
    // The restart point is a new start: what ran before it is not undone.
    e.history_.Clear();
    return 1;
}

int32_t kovar_can_step_back(void) {
    return engine().history_.empty() ? 0 : 1;
}

int32_t kovar_can_restart(void) {
    return engine().restartPoint_ ? 1 : 0;
}

void kovar_new(void) {
    Engine& e = engine();
    e.setSourceMap({});
    e.st_.Reset();
    e.log_.Clear();
    e.unsaved_ = false;
    e.machineReplaced();
}

const uint8_t* kovar_changes(void) {
    return engine().changes();
}

int32_t kovar_changed(int32_t what, int32_t index) {
    Engine& e = engine();
    const int offset = Engine::changeOffset(what, index);
    return offset < 0 ? 0 : e.changes()[offset];
}

int32_t kovar_unsaved(void) {
    return engine().unsaved_ ? 1 : 0;
}

// ---- the memory image file

uint32_t kovar_save_image(void) {
    Engine& e = engine();
    const ImageBytes image = EncodeImage(e.st_);
    e.unsaved_ = false;
    return e.give(std::string(reinterpret_cast<const char*>(image.data()), image.size()));
}

void kovar_load_image(const uint8_t* bytes, uint32_t length) {
    Engine& e = engine();
    DecodeImage(e.st_, bytes, bytes == nullptr ? 0 : length);
    e.setSourceMap({});
    e.unsaved_ = false;
    e.machineReplaced();
}

// ---- the trace

int32_t kovar_trace_enabled(void) {
    return engine().log_.enabled() ? 1 : 0;
}

void kovar_set_trace(int32_t on) {
    engine().log_.setEnabled(on != 0);
}

void kovar_clear_trace(void) {
    engine().log_.Clear();
}

uint32_t kovar_trace_count(void) {
    return static_cast<uint32_t>(engine().log_.size());
}

uint32_t kovar_trace_generation(void) {
    return static_cast<uint32_t>(engine().log_.generation());
}

uint32_t kovar_trace_range(uint32_t first, uint32_t count) {
    Engine& e = engine();
    // In 64 bits: first + count may pass 2^32 (kovar_trace_since asks for all).
    const auto end = static_cast<std::size_t>(
        std::min<uint64_t>(e.log_.size(), uint64_t{first} + uint64_t{count}));
    std::size_t bytes = 0;
    for (std::size_t i = first; i < end; ++i)
        bytes += e.log_.line(i).size() + 1;
    e.result.clear();
    e.result.reserve(bytes);
    for (std::size_t i = first; i < end; ++i) {
        if (i != first)
            e.result += '\n';
        e.result += e.log_.line(i);
    }
    return static_cast<uint32_t>(e.result.size());
}

uint32_t kovar_trace_since(uint32_t first) {
    return kovar_trace_range(first, UINT32_MAX);
}

int32_t kovar_trace_find(const char* text, uint32_t length, uint32_t from, int32_t backward,
                         int32_t flags) {
    const TraceLog& log = engine().log_;
    const std::string_view needle = view(text, length);
    const bool ignoreCase = (flags & 1) != 0;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const auto same = [&](char a, char b) { return ignoreCase ? lower(a) == lower(b) : a == b; };
    const auto contains = [&](std::string_view line) {
        return std::search(line.begin(), line.end(), needle.begin(), needle.end(), same) !=
               line.end();
    };
    const std::size_t count = log.size();
    if (count == 0)
        return -1;
    if (backward != 0) {
        for (std::size_t i = std::min<std::size_t>(from, count - 1) + 1; i-- > 0;)
            if (contains(log.line(i)))
                return static_cast<int32_t>(i);
        return -1;
    }
    for (std::size_t i = from; i < count; ++i)
        if (contains(log.line(i)))
            return static_cast<int32_t>(i);
    return -1;
}

// ---- the assembler and disassembler

int32_t kovar_assemble(const char* text, uint32_t length, int32_t apply) {
    Engine& e = engine();
    e.assembly_ = Assemble(view(text, length));
    e.setSourceMap(e.assembly_.ok() ? SourceMap(e.assembly_) : SourceMap());
    if (e.assembly_.ok() && apply != 0) {
        ApplyProgram(e.assembly_, e.st_);
        e.userEdited();
        e.machineReplaced();
    }
    return static_cast<int32_t>(e.assembly_.errors.size());
}

namespace {
const AsmError* asmError(int32_t index) {
    const std::vector<AsmError>& errors = engine().assembly_.errors;
    return index >= 0 && static_cast<std::size_t>(index) < errors.size()
               ? &errors[static_cast<std::size_t>(index)]
               : nullptr;
}
} // namespace

int32_t kovar_asm_error_line(int32_t index) {
    const AsmError* error = asmError(index);
    return error ? error->line : 0;
}

int32_t kovar_asm_error_column(int32_t index) {
    const AsmError* error = asmError(index);
    return error ? error->column : 0;
}

uint32_t kovar_asm_error_message(int32_t index) {
    const AsmError* error = asmError(index);
    return engine().give(error ? error->message : std::string());
}

uint32_t kovar_asm_error_text(int32_t index) {
    const AsmError* error = asmError(index);
    return engine().give(error ? FormatAsmError(*error) : std::string());
}

int32_t kovar_asm_start(void) {
    const AssembleResult& a = engine().assembly_;
    return a.ok() ? static_cast<int32_t>(a.start) : 0;
}

int32_t kovar_asm_bytes(void) {
    const AssembleResult& a = engine().assembly_;
    std::size_t bytes = 0;
    if (a.ok())
        for (const AsmRegion& r : a.regions)
            bytes += r.bytes.size();
    return static_cast<int32_t>(bytes);
}

int32_t kovar_asm_span_count(void) {
    return static_cast<int32_t>(engine().spanTable_.size() / 4);
}

const int32_t* kovar_asm_spans(void) {
    return engine().spanTable_.data();
}

namespace {
const AsmLabel* asmLabel(int32_t index) {
    const std::vector<AsmLabel>& labels = engine().sourceMap_.labels();
    return index >= 0 && static_cast<std::size_t>(index) < labels.size()
               ? &labels[static_cast<std::size_t>(index)]
               : nullptr;
}
} // namespace

int32_t kovar_asm_label_count(void) {
    return static_cast<int32_t>(engine().sourceMap_.labels().size());
}

uint32_t kovar_asm_label_name(int32_t index) {
    const AsmLabel* label = asmLabel(index);
    return engine().give(label ? label->name : std::string());
}

int32_t kovar_asm_label_address(int32_t index) {
    const AsmLabel* label = asmLabel(index);
    return label ? static_cast<int32_t>(label->address) : 0;
}

int32_t kovar_asm_label_line(int32_t index) {
    const AsmLabel* label = asmLabel(index);
    return label ? label->line : 0;
}

int32_t kovar_asm_line_at(int32_t address) {
    return engine().sourceMap_.LineAt(static_cast<uint32_t>(address));
}

int32_t kovar_asm_instruction_of_line(int32_t line) {
    const std::optional<uint32_t> address = engine().sourceMap_.InstructionOfLine(line);
    return address ? static_cast<int32_t>(*address) : -1;
}

uint32_t kovar_disassemble(int32_t word) {
    return engine().give(Disassemble(static_cast<uint32_t>(word)));
}

int32_t kovar_instruction_word(int32_t address) {
    return static_cast<int32_t>(engine().st_.ReadInstructionWord(static_cast<uint32_t>(address)));
}

uint32_t kovar_listing(void) {
    Engine& e = engine();
    return e.give(ListMemory(e.st_));
}

uint32_t kovar_memory_as_source(void) {
    Engine& e = engine();
    return e.give(MemoryAsSource(e.st_));
}

// ---- number texts

int32_t kovar_hex_to_int(const char* text, uint32_t length) {
    engine().beginReport();
    return HexToInt(view(text, length));
}

uint32_t kovar_int_to_hex(int32_t value, int32_t bytes) {
    return engine().give(IntToHexBytes(value, static_cast<uint8_t>(std::clamp(bytes, 0, 255))));
}

void kovar_convert(int32_t field, const char* text, uint32_t length) {
    Engine& e = engine();
    e.beginReport();
    if (field < KOVAR_CONV_DEC || field > KOVAR_CONV_BIN)
        return;
    const auto f = static_cast<ConverterFields::Field>(field);
    e.converter_.SetText(f, std::string(view(text, length)));
    switch (f) {
    case ConverterFields::Dec: EditDecExit(e.converter_); break;
    case ConverterFields::Hex: EditHexExit(e.converter_); break;
    case ConverterFields::Bin: EditBinExit(e.converter_); break;
    }
}

uint32_t kovar_converter_text(int32_t field) {
    Engine& e = engine();
    if (field < KOVAR_CONV_DEC || field > KOVAR_CONV_BIN)
        return e.give({});
    return e.give(e.converter_.Text(static_cast<ConverterFields::Field>(field)));
}

void kovar_calc_set(int32_t field, const char* text, uint32_t length) {
    Engine& e = engine();
    e.beginReport();
    if (field < KOVAR_CALC_INFIX || field > KOVAR_CALC_ANSWER)
        return;
    e.calc_[static_cast<std::size_t>(field)] = std::string(view(text, length));
    if (field == KOVAR_CALC_INFIX) {
        // A blank text converts nothing: the postfix field and the list keep
        // the previous conversion.
        if (const auto postfix = calc::ConvertInfixField(e.calc_[KOVAR_CALC_INFIX], e.postfix_))
            e.calc_[KOVAR_CALC_POSTFIX] = *postfix;
    }
}

int32_t kovar_calc_evaluate(void) {
    Engine& e = engine();
    e.beginReport();
    const calc::Evaluation result =
        calc::Evaluate(e.postfix_, e.calc_[KOVAR_CALC_A], e.calc_[KOVAR_CALC_B],
                       e.calc_[KOVAR_CALC_C], e.calc_[KOVAR_CALC_D]);
    if (result.fault) {
        e.messages_.push_back(
            {std::string(calc::FaultMessage(*result.fault)), KOVAR_MESSAGE_FAULT});
        return 0; // the answer keeps its previous text
    }
    e.calc_[KOVAR_CALC_ANSWER] = result.answer;
    return 1;
}

uint32_t kovar_calc_text(int32_t field) {
    Engine& e = engine();
    if (field < KOVAR_CALC_INFIX || field > KOVAR_CALC_ANSWER)
        return e.give({});
    return e.give(e.calc_[static_cast<std::size_t>(field)]);
}

} // extern "C"
