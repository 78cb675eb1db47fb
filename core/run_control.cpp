// Step and Run.
#include <string>

#include "hex_op.h"
#include "isa.h"
#include "processor.h"
#include "show_error.h"

namespace kovar {

void Processor::StepPrg() {
    if (history_)
        history_->Record(st_, log_);
    FetchIR();
    if (tracing()) {
        const std::string pcText =
            (views_ ? views_->PCFieldText(st_) : MachineViews().PCFieldText(st_));
        char hex[8];
        char bits[32];
        FormatHex8(st_.IR.word(), hex);
        FormatBin32(st_.IR.word(), bits);
        log_.Debug(
            {"PC: ", pcText, " IR: ", std::string_view(hex, 8), " ", std::string_view(bits, 32)});
    }
    parser();
    FetchIR();
}

RunReport Processor::RunPrg(uint64_t limit) {
    RunReport report;
    const InstructionRegister entryIR = st_.IR;
    FetchIR();
    const auto halted = [this] { return st_.IR.word() == isa::kHaltWord; };
    const auto mayStep = [&] {
        return !halted() && !st_.IsBreakpoint(st_.PC) && report.steps < limit;
    };
    if (mayStep()) {
        StepPrg();
        ++report.steps;
        // The first step found IR as the Run's own fetch left it; stepping
        // back over it must give back the IR from before the Run.
        if (history_)
            history_->AmendLastIR(entryIR);
        while (mayStep()) {
            StepPrg();
            ++report.steps;
        }
    }
    report.halt = halted();
    report.breakpoint = st_.IsBreakpoint(st_.PC);
    report.maxStep = report.steps == limit;
    if (report.halt)
        log_.Debug("Halt");
    if (report.breakpoint)
        log_.Debug("Breakpoint");
    if (report.maxStep) {
        const std::string text = "MaxStep:" + std::to_string(limit);
        log_.Debug(text);
        ShowError(text);
    }
    return report;
}

} // namespace kovar
