#include "load_program.h"

#include "memory_image.h"

namespace kovar::runner {

bool LoadProgram(MachineState& state, const std::string& path) {
    return LoadDmp(state, path);
}

} // namespace kovar::runner
