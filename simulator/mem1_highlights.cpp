// The simulator window's colours: the highlight of every value the last
// Step, Run, step back or restart changed (cleared by the user's typing),
// the coloured tab of a page whose entries changed, and taking all colours
// again from the theme when the palette changes.
#include <QCheckBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>

#include "mem1.h"
#include "mem1_fields.h"
#include "theme.h"

namespace {

const char* const kChanged = "changed";

bool markedChanged(const QWidget* field) {
    return field->property(kChanged).toBool();
}

void setFieldHighlight(QLineEdit* field, bool on, const kovar::ui::Theme& theme) {
    if (markedChanged(field) == on)
        return;
    field->setProperty(kChanged, on);
    if (on) {
        QPalette p = field->palette();
        p.setColor(QPalette::Base, theme.changed);
        field->setPalette(p);
    } else {
        field->setPalette(QPalette());
    }
}

void setCellHighlight(QLineEdit* cell, bool on, const std::array<QString, 2>& styles) {
    if (markedChanged(cell) == on)
        return;
    cell->setProperty(kChanged, on);
    cell->setStyleSheet(styles[on ? 1 : 0]);
}

void setCheckHighlight(QCheckBox* box, bool on, const kovar::ui::Theme& theme) {
    if (markedChanged(box) == on)
        return;
    box->setProperty(kChanged, on);
    if (on) {
        // A check box fills its background with the button colour.
        QPalette p = box->palette();
        p.setColor(QPalette::Window, theme.changed);
        p.setColor(QPalette::Button, theme.changed);
        box->setPalette(p);
        box->setAutoFillBackground(true);
    } else {
        box->setAutoFillBackground(false);
        box->setPalette(QPalette());
    }
}

} // namespace

std::array<QString, 2> kovar::mem1::cellStyleSheets(const kovar::ui::Theme& theme) {
    const auto sheet = [&theme](const QColor& base, const QColor& text) {
        return QStringLiteral("QLineEdit { padding: 0px; border: 1px solid %1; "
                              "background: %2; color: %3; }")
            .arg(theme.cellFrame.name(), base.name(), text.name());
    };
    return {sheet(theme.cellBase, theme.cellText), sheet(theme.changed, theme.changedText)};
}

bool TForm1::isHighlighted(QWidget* field) const {
    return markedChanged(field);
}

void TForm1::clearHighlightsOnTyping() {
    for (int i = 0; i < kCells; ++i)
        connect(MemCells[i], &QLineEdit::textEdited, this, [this, i] {
            changed_.memory[memBase_ + i] = false;
            highlightMemCells();
        });
    for (int s = 0; s < 2; ++s) {
        StackRecord& record = s == 0 ? DSView : RSView;
        for (int i = 0; i < kovar::kStackDepth; ++i)
            connect(record.items[i], &QLineEdit::textEdited, this, [this, s, i] {
                changed_.stacks[s][i] = false;
                applyHighlights();
            });
    }
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        connect(URDView.items[i], &QLineEdit::textEdited, this, [this, i] {
            changed_.urd[i] = false;
            applyHighlights();
        });
    connect(EditPC, &QLineEdit::textEdited, this, [this] {
        changed_.pc = false;
        applyHighlights();
    });
    connect(CheckBoxFL, &QCheckBox::clicked, this, [this] {
        changed_.fl = false;
        applyHighlights();
    });
}

void TForm1::highlightMemCells() {
    if (!study_)
        return;
    for (int i = 0; i < kCells; ++i)
        setCellHighlight(MemCells[i], changed_.memory[memBase_ + i], cellStyles_);
}

void TForm1::applyHighlights() {
    const kovar::ui::Theme theme = kovar::ui::ThemeOf(this);
    highlightMemCells();
    const std::array<StackRecord*, 2> stacks = {&DSView, &RSView};
    const std::array<QWidget*, 3> pages = {PanelDS, PanelRS, PanelURD};
    for (int k = 0; k < 2; ++k) {
        bool any = false;
        for (int i = 0; i < kovar::kStackDepth; ++i) {
            setFieldHighlight(stacks[k]->items[i], changed_.stacks[k][i], theme);
            any = any || changed_.stacks[k][i];
        }
        PageControl1->tabBar()->setTabTextColor(PageControl1->indexOf(pages[k]),
                                                any ? theme.changedTab : QColor());
    }
    bool anyURD = false;
    for (int i = 0; i < kovar::kUserRegisters; ++i) {
        setFieldHighlight(URDView.items[i], changed_.urd[i], theme);
        anyURD = anyURD || changed_.urd[i];
    }
    PageControl1->tabBar()->setTabTextColor(PageControl1->indexOf(PanelURD),
                                            anyURD ? theme.changedTab : QColor());
    setFieldHighlight(EditPC, changed_.pc, theme);
    setCheckHighlight(CheckBoxFL, changed_.fl, theme);
}

void TForm1::applyTheme() {
    if (!study_)
        return; // still being built; the controls take the theme as they are made
    cellStyles_ = kovar::mem1::cellStyleSheets(kovar::ui::ThemeOf(this));
    // Every highlight is drawn again, in the new colours.
    for (QLineEdit* cell : MemCells)
        cell->setStyleSheet(cellStyles_[markedChanged(cell) ? 1 : 0]);
    QList<QWidget*> fields = {EditPC, CheckBoxFL};
    for (const StackRecord* record : {&DSView, &RSView, &URDView})
        for (QLineEdit* field : record->items)
            fields.append(field);
    for (QWidget* field : fields) {
        if (markedChanged(field)) {
            field->setProperty(kChanged, false);
            field->setPalette(QPalette());
        }
    }
    applyHighlights();
    RefreshMem(); // the address labels' colours
}
