// MachineLink: how the windows beside the main window (the breakpoint list,
// the listing, and any later one) reach the machine the main window shows.
// They hold the link, never the main window: they read and change the
// machine through it, ask the main window to show an address, and learn
// from its signals when the views were redrawn, when the user edited the
// machine, when a New or Load replaced it and when a command ran.
//
// The link also keeps the source map of the last program assembled into
// memory, for as long as memory still holds what it laid down: a byte the
// user changes by hand drops the items that wrote it, New and Load drop the
// whole map. What the program's own SAVEs write keeps its place in the map
// (a variable declared with ".word" stays that variable).
#pragma once

#include <QObject>
#include <array>
#include <cstdint>

#include "assembler.h"
#include "machine_state.h"

class MachineLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The one machine of the program.
    virtual kovar::MachineState& machine() = 0;
    // Shows an address in the main window's memory view.
    virtual void showAddress(uint32_t address) = 0;
    // The caller has changed breakpoint marks: the memory view is redrawn
    // and the change counts as the user's edit.
    virtual void breakpointsEdited() = 0;

    // Sets or clears the mark of one address, as a double-click on its
    // address label does; an address outside memory is left alone.
    void toggleBreakpoint(uint32_t address);

    // The map of the program last assembled into memory; empty when there
    // is none (or nothing of it is left).
    const kovar::SourceMap& sourceMap() const { return map_; }
    // To be called right after a program was applied to the machine and
    // before the edit is reported.
    void programAssembled(const kovar::AssembleResult& result);

signals:
    // The memory view or the PC field has just been redrawn (once per
    // command, as the views are coalesced).
    void shown();
    // The PC field has been redrawn or rewritten by the user.
    void pcShown();
    // The user changed the machine outside Step and Run (a field, a mark,
    // the constructor, a program assembled into memory).
    void edited();
    // New or Load replaced the whole machine.
    void replaced();
    // A Step, Run, Continue, step back or restart has ended: anything in
    // the machine may have changed.
    void executed();
    // The source map was replaced, dropped, or lost some of its items.
    void sourceMapChanged();
    // A program has just been assembled into memory (its edit follows).
    void assembled();

protected:
    // Called by the implementation's constructor once machine() can be used.
    void followSourceMap();

private:
    void dropEditedBytes();

    kovar::SourceMap map_;
    // Memory as the map last knew it: bytes that differ after a user's
    // edit were changed by hand.
    std::array<uint8_t, kovar::kMemorySize> known_{};
};
