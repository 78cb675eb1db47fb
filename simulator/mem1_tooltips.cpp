// The simulator window's tooltips of values: every memory, stack, register
// and PC field shows its value in the other base when the pointer rests on
// it: in decimal, or, for the stacks and registers in the decimal view, in
// hexadecimal.
#include <QHash>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>
#include <functional>

#include "hex_op.h"
#include "mem1.h"
#include "ui_support.h"

using kovar::StackId;
using kovar::ui::Q;

namespace {

// Shows a field's value in decimal when the pointer rests on it; the text is
// made only then, so redraws and Runs pay nothing for it.
class DecimalTips : public QObject {
public:
    using Text = std::function<QString()>;
    explicit DecimalTips(QObject* parent) : QObject(parent) {}
    void add(QWidget* field, Text text) {
        texts_.insert(field, std::move(text));
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            const auto it = texts_.constFind(watched);
            if (it != texts_.constEnd()) {
                auto* help = static_cast<QHelpEvent*>(event);
                QToolTip::showText(help->globalPos(), it.value()(), static_cast<QWidget*>(watched));
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QHash<QObject*, Text> texts_;
};

QString decimalText(int32_t value) {
    return QStringLiteral("Без знака: %1\nСо знаком: %2")
        .arg(static_cast<uint32_t>(value))
        .arg(value);
}

// For a stack or register shown in decimal.
QString hexText(int32_t value) {
    return QStringLiteral("Шестнадцатеричное: %1\nБез знака: %2")
        .arg(Q(kovar::Hex8(static_cast<uint32_t>(value))))
        .arg(static_cast<uint32_t>(value));
}

// A byte, and the words that start at it: as an instruction is fetched
// (most significant byte first) and as LOAD reads data (least first).
QString memoryText(const kovar::MachineState& st, int address) {
    const uint8_t byte = st.Memory[address];
    const uint32_t word = st.ReadInstructionWord(static_cast<uint32_t>(address));
    const uint32_t data = st.ReadDataWord(static_cast<uint32_t>(address));
    return QStringLiteral("Байт: %1 без знака, %2 со знаком\n"
                          "Слово с этого адреса (старший байт первым, как хранятся "
                          "команды): %3\n= %4 без знака, %5 со знаком\n"
                          "Слово, как его читает LOAD (младший байт первым): %6\n"
                          "= %7 без знака, %8 со знаком")
        .arg(byte)
        .arg(static_cast<int8_t>(byte))
        .arg(Q(kovar::Hex8(word)))
        .arg(word)
        .arg(static_cast<int32_t>(word))
        .arg(Q(kovar::Hex8(data)))
        .arg(data)
        .arg(static_cast<int32_t>(data));
}

} // namespace

void TForm1::addDecimalTips() {
    auto* tips = new DecimalTips(this);
    // A stack or register word in the base its field does not show.
    const auto otherBaseText = [this](int32_t value) {
        return decimal_ ? hexText(value) : decimalText(value);
    };
    for (int i = 0; i < kCells; ++i)
        tips->add(MemCells[i], [this, i] { return memoryText(st_, memBase_ + i); });
    for (int s = 0; s < 2; ++s) {
        const StackId id = s == 0 ? StackId::DS : StackId::RS;
        StackRecord& record = s == 0 ? DSView : RSView;
        for (int i = 0; i < kovar::kStackDepth; ++i)
            tips->add(record.items[i],
                      [otherBaseText, this, id, i] { return otherBaseText(st_.stack(id)[i]); });
    }
    for (int i = 0; i < kovar::kUserRegisters; ++i)
        tips->add(URDView.items[i], [otherBaseText, this, i] { return otherBaseText(st_.URD[i]); });
    tips->add(EditPC, [this] { return decimalText(st_.PC); });
}
