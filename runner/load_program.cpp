#include "load_program.h"

#include "assembler.h"
#include "memory_image.h"
#include "show_error.h"

namespace kovar::runner {

bool LoadProgram(MachineState& state, const std::string& path) {
    if (!IsSourceFileName(path))
        return LoadDmp(state, path);
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
