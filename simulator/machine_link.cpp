#include "machine_link.h"

void MachineLink::toggleBreakpoint(uint32_t address) {
    if (!kovar::MachineState::InMemory(address))
        return;
    machine().BreakpointMarks[address] ^= 1u;
    breakpointsEdited();
}

void MachineLink::programAssembled(const kovar::AssembleResult& result) {
    map_ = kovar::SourceMap(result);
    known_ = machine().Memory;
    emit sourceMapChanged();
    emit assembled();
}

void MachineLink::followSourceMap() {
    connect(this, &MachineLink::edited, this, &MachineLink::dropEditedBytes);
    connect(this, &MachineLink::executed, this, [this] { known_ = machine().Memory; });
    connect(this, &MachineLink::replaced, this, [this] {
        known_ = machine().Memory;
        if (map_.empty())
            return;
        map_ = kovar::SourceMap();
        emit sourceMapChanged();
    });
}

void MachineLink::dropEditedBytes() {
    const auto& memory = machine().Memory;
    if (map_.empty()) {
        known_ = memory;
        return;
    }
    bool dropped = false;
    for (uint32_t a = 0; a < memory.size(); ++a) {
        if (memory[a] == known_[a])
            continue;
        map_.DropBytes(a, 1);
        dropped = true;
    }
    known_ = memory;
    if (dropped)
        emit sourceMapChanged();
}
