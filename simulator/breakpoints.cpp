#include "breakpoints.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "disassembler.h"
#include "hex_op.h"
#include "machine_link.h"
#include "ui_support.h"

using kovar::ui::Q;

QString BreakpointWordText(const kovar::MachineState& state, uint32_t address) {
    QString text;
    for (uint32_t i = 0; i < 4; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += Q(kovar::IntToHexBytes(state.ReadByte(address + i), 1));
    }
    text += QStringLiteral("  ");
    text += Q(kovar::Disassemble(state.ReadInstructionWord(address)));
    return text;
}

BreakpointList::BreakpointList(MachineLink& link, QWidget* parent) : QWidget(parent), link_(link) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Точки останова"));
    setFont(kovar::ui::FormFont());

    list = new QListWidget(this);
    list->setFont(QFont(QStringLiteral("monospace"), font().pointSize()));
    list->setToolTip(QStringLiteral("Адрес и слово по этому адресу; двойной щелчок — "
                                    "перейти к нему в памяти"));
    goButton = new QPushButton(QStringLiteral("Перейти"), this);
    goButton->setToolTip(QStringLiteral("Показать выбранный адрес в памяти"));
    removeButton = new QPushButton(QStringLiteral("Удалить"), this);
    removeButton->setToolTip(QStringLiteral("Снять выбранную точку останова"));
    removeAllButton = new QPushButton(QStringLiteral("Удалить все"), this);
    removeAllButton->setToolTip(QStringLiteral("Снять все точки останова"));
    auto* hint = new QLabel(QStringLiteral("F5 ставит или снимает точку на ячейке памяти, "
                                           "в которой стоит курсор."),
                            this);
    hint->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(goButton);
    buttons->addWidget(removeButton);
    buttons->addWidget(removeAllButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);
    layout->addWidget(hint);
    resize(280, 300);

    connect(goButton, &QPushButton::clicked, this, &BreakpointList::GoClick);
    connect(removeButton, &QPushButton::clicked, this, &BreakpointList::RemoveClick);
    connect(removeAllButton, &QPushButton::clicked, this, &BreakpointList::RemoveAllClick);
    connect(list, &QListWidget::itemActivated, this, &BreakpointList::GoClick);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        goButton->setEnabled(row >= 0);
        removeButton->setEnabled(row >= 0);
    });
    connect(&link_, &MachineLink::edited, this, &BreakpointList::refresh);
    connect(&link_, &MachineLink::replaced, this, &BreakpointList::refresh);
    // A SAVE may have changed a listed word.
    connect(&link_, &MachineLink::executed, this, [this] {
        if (isVisible())
            refresh();
    });
    refresh();
}

int BreakpointList::selectedAddress() const {
    const QListWidgetItem* item = list->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void BreakpointList::refresh() {
    const int keep = selectedAddress();
    const kovar::MachineState& st = link_.machine();
    list->clear();
    for (int a = 0; a < kovar::kMemorySize; ++a) {
        if (st.BreakpointMarks[a] == 0)
            continue;
        auto* item = new QListWidgetItem(Q(kovar::IntToHexBytes(a, 4)) + QStringLiteral("   ") +
                                         BreakpointWordText(st, static_cast<uint32_t>(a)));
        item->setData(Qt::UserRole, a);
        list->addItem(item);
        if (a == keep)
            list->setCurrentItem(item);
    }
    if (!list->currentItem() && list->count() > 0)
        list->setCurrentRow(0);
    goButton->setEnabled(list->currentItem() != nullptr);
    removeButton->setEnabled(list->currentItem() != nullptr);
    removeAllButton->setEnabled(list->count() > 0);
}

void BreakpointList::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

void BreakpointList::GoClick() {
    const int address = selectedAddress();
    if (address >= 0)
        link_.showAddress(static_cast<uint32_t>(address));
}

void BreakpointList::RemoveClick() {
    const int address = selectedAddress();
    if (address < 0)
        return;
    const int row = list->currentRow();
    link_.machine().BreakpointMarks[address] = 0;
    link_.breakpointsEdited(); // refreshes this list through edited()
    if (list->count() > 0)
        list->setCurrentRow(std::min(row, list->count() - 1));
}

void BreakpointList::RemoveAllClick() {
    link_.machine().BreakpointMarks.fill(0);
    link_.breakpointsEdited();
}
