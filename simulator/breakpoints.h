// BreakpointList: the "Точки останова" tool window. It lists every marked
// address with the word stored there, jumps the memory view to one, and
// removes one mark or all of them. It reaches the machine through the
// MachineLink, not through the main window.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>

#include "machine_state.h"

class MachineLink;
class QListWidget;
class QPushButton;

// The text shown for the word at a marked address: its four bytes in
// instruction order and the instruction they spell.
QString BreakpointWordText(const kovar::MachineState& state, uint32_t address);

class BreakpointList : public QWidget {
    Q_OBJECT
public:
    explicit BreakpointList(MachineLink& link, QWidget* parent = nullptr);

    // Rebuilds the list from the marks, keeping the selected address.
    void refresh();

    QListWidget* list;
    QPushButton* goButton;
    QPushButton* removeButton;
    QPushButton* removeAllButton;

    void GoClick();
    void RemoveClick();
    void RemoveAllClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int selectedAddress() const;
    MachineLink& link_;
};
