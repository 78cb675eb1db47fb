// TForm4: the instruction constructor window.
#pragma once

#include <QWidget>

#include "machine_state.h"
#include "views.h"

// The instruction constructor ("Конструктор команд"): assembles one
// instruction word from named fields and stores it into memory at PC.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    // `views` is the simulator window, redrawn after a store (memory) and
    // after the PC field here is left (PC).
    TForm4(kovar::MachineState& state, kovar::MachineViews& views, QWidget* parent = nullptr);

private:
    kovar::MachineState& st_;
    kovar::MachineViews& views_;
};
