#include "load_program.h"

#include "assembler.h"
#include "atomic_file.h"
#include "memory_image.h"
#include "program_file.h"
#include "show_error.h"

namespace kovar::runner {

bool AssembleFileInto(MachineState& state, const std::string& path, std::string& errors) {
    std::string text;
    std::string cause;
    if (!ReadFileBytes(path, kMaxSourceBytes + 1, text, &cause)) {
        errors = "Ошибка чтения файла: " + path + "\n" + cause + "\n";
        return false;
    }
    const AssembleResult r = Assemble(text);
    errors.clear();
    if (!r.ok()) {
        for (const auto& e : r.errors)
            errors += path + ": " + FormatAsmError(e) + "\n";
        return false;
    }
    ApplyProgram(r, state);
    return true;
}

bool LoadProgram(MachineState& state, const std::string& path, std::uint64_t* imageBytes) {
    if (!IsSourceFileName(path))
        return LoadDmp(state, path, imageBytes);
    // Program text is assembled into the machine; its errors (one a line,
    // with line and column) are reported like any file error.
    std::string errors;
    if (AssembleFileInto(state, path, errors))
        return true;
    while (!errors.empty() && errors.back() == '\n')
        errors.pop_back();
    ShowError(errors);
    return false;
}

} // namespace kovar::runner
