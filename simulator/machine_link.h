// MachineLink: how the windows beside the main window (the breakpoint list,
// the listing, and any later one) reach the machine the main window shows.
// They hold the link, never the main window: they read and change the
// machine through it, ask the main window to show an address, and learn
// from its signals when the views were redrawn, when the user edited the
// machine, when a New or Load replaced it and when a command ran.
#pragma once

#include <QObject>
#include <cstdint>

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
};
