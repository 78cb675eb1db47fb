#include "machine_link.h"

void MachineLink::toggleBreakpoint(uint32_t address) {
    if (!kovar::MachineState::InMemory(address))
        return;
    machine().BreakpointMarks[address] ^= 1u;
    breakpointsEdited();
}
