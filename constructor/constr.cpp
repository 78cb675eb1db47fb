#include "constr.h"

#include "ui_support.h"

TForm4::TForm4(kovar::MachineState& state, kovar::MachineViews& views, QWidget* parent)
    : QWidget(parent, kovar::ui::kFixedWindowFlags), st_(state), views_(views) {
    setWindowTitle(QStringLiteral("Конструктор команд"));
    setFont(kovar::ui::FormFont());
    kovar::ui::PlaceWindow(this, 155, 155, 494, 260);
}
