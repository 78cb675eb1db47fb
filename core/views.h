// The door from the processor core to whatever shows the machine. The core
// calls these after each change it makes; every operation does nothing by
// default, so a core without a window simply runs.
#pragma once

#include <string>

#include "machine_state.h"

namespace kovar {

class MachineViews {
public:
    virtual ~MachineViews() = default;

    virtual void RefreshMem() {}
    virtual void RefreshStack(StackId) {}
    virtual void RefreshURD() {}
    virtual void RefreshPC() {}

    // The text of the PC field, which the heading line of a step quotes.
    // Without a window it is PC as 8 upper-case hex digits.
    virtual std::string PCFieldText(const MachineState& state) const;
};

} // namespace kovar
