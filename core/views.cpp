#include "views.h"

#include "hex_op.h"

namespace kovar {

std::string MachineViews::PCFieldText(const MachineState& state) const {
    return Hex8(static_cast<uint32_t>(state.PC));
}

} // namespace kovar
