#include "constr.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

#include "hex_op.h"
#include "isa.h"
#include "text_fit.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;
namespace isa = kovar::isa;

namespace {

// Which field controls each kind of instruction uses (see fieldControls()).
const QString kJumpFields = QStringLiteral("100000000000000");
const QString kMemoryFields = QStringLiteral("011110000010000");
const QString kAluFields = QStringLiteral("011111111100000");
const QString kShiftFields = QStringLiteral("011111110101111");

// The k low-order bits of a number, most significant first.
QString lowBits(int value, int k) {
    return Q(kovar::IntToBinBytes(value, 1)).right(k);
}

// Positions in the word (1 is bit 31) where the fields begin.
constexpr int kClassPos = 1;
constexpr int kAddressPos = 4;
constexpr int kReturnPos = 4;
constexpr int kSourcePos = 5;
constexpr int kDestPos = 9;
constexpr int kStackPos = 13;
constexpr int kAluShiftPos = 17;
constexpr int kOffsetPos = 17;
constexpr int kAluFlPos = 18;
constexpr int kCondPos = 19;
constexpr int kCarryPos = 23;
constexpr int kEnableFlPos = 25;
constexpr int kOperPos = 26;
constexpr int kArrowPos = 26;
constexpr int kRsrPos = 28;
constexpr int kSpecOpPos = 29;
constexpr int kSourceFlPos = 31;
constexpr int kWordLength = 32;

// The free-text fields' first texts: all 29 address bits, and 15 zeros,
// one fewer than the offset has bits.
QString adressFirstText() {
    return QString(29, QLatin1Char('0'));
}
QString offsetFirstText() {
    return QString(15, QLatin1Char('0'));
}

QComboBox* list(QWidget* parent, const QStringList& entries, int x, int y, int width) {
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    box->addItems(entries);
    // Nothing is chosen until the user chooses.
    box->setCurrentIndex(-1);
    box->setGeometry(x, y, width, 22);
    box->setMaxVisibleItems(std::min<int>(static_cast<int>(entries.size()), 17));
    // The drop-down shows whole entries even where the box is narrower.
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 8);
    return box;
}

QLabel* caption(QWidget* parent, const char* text, int x, int y) {
    return kovar::ui::AddLabel(parent, QString::fromUtf8(text), x, y);
}

QCheckBox* checkBox(QWidget* parent, const char* text, int x, int y, int width) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setGeometry(x, y, width, 20);
    return box;
}

QLineEdit* edit(QWidget* parent, int maxLength, const QString& text, int x, int y, int width) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(maxLength);
    field->setText(text);
    field->setGeometry(x, y, width, 22);
    return field;
}

QStringList registerEntries() {
    QStringList entries;
    for (const auto& reg : isa::kRegisters)
        entries << Q(reg.listName);
    // A 17th, empty entry; its index 16 writes the code 0000.
    entries << QString();
    return entries;
}

template <std::size_t N> QStringList entriesOf(const std::array<std::string_view, N>& names) {
    QStringList entries;
    for (std::string_view name : names)
        entries << Q(name);
    return entries;
}

} // namespace

const std::array<QString, 9> TForm4::CommandCodes = [] {
    std::array<QString, 9> codes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = Q(isa::kCommands[i].classBits);
    return codes;
}();

const std::array<QString, 28> TForm4::OperCodes = [] {
    std::array<QString, 28> codes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = lowBits(isa::kAluOperations[i].code, 7);
    return codes;
}();

// In the order of the "Команда" list: CALL, BRANCH, BRANCH_C, LOAD, SAVE,
// LAL, LAH, ALU, SHIFT.
const std::array<QString, 9> TForm4::FieldEnableTable = {
    kJumpFields,   kJumpFields,   kJumpFields, kMemoryFields, kMemoryFields,
    kMemoryFields, kMemoryFields, kAluFields,  kShiftFields};

static_assert(isa::kCommands.size() == 9 && isa::kAluOperations.size() == 28);

TForm4::TForm4(kovar::MachineState& state, kovar::MachineViews& views, QWidget* parent)
    : QWidget(parent, kovar::ui::kFixedWindowFlags), st_(state), views_(views) {
    setWindowTitle(QStringLiteral("Конструктор команд"));
    setFont(kovar::ui::FormFont());
    kovar::ui::PlaceWindow(this, 155, 155, 494, 260);
    buildControls();
    FormCreate();
    connectHandlers();
    // The word's bits, the free-text fields and the captions stay whole.
    kovar::ui::FitTexts(this);
}

void TForm4::buildControls() {
    QFont wordFont = font();
    wordFont.setPointSize(10);
    wordFont.setBold(true);

    // Second row: the class and the jump address.
    Label1 = caption(this, "Команда", 8, 70);
    QStringList commands;
    for (const auto& command : isa::kCommands)
        commands << Q(command.name);
    Command = list(this, commands, 8, 86, 110);
    Label2 = caption(this, "Адрес", 128, 70);
    Adress = edit(this, 29, adressFirstText(), 128, 86, 210);

    // Third row: return bit, registers, stack action, offset.
    Return = checkBox(this, "Возврат", 8, 131, 76);
    Label3 = caption(this, "Источник (B)", 88, 114);
    Source = list(this, registerEntries(), 88, 130, 76);
    Label4 = caption(this, "Получатель (A)", 170, 114);
    Dest = list(this, registerEntries(), 170, 130, 86);
    Label5 = caption(this, "Стек", 262, 114);
    Stack = list(this, entriesOf(isa::kStackActionNames), 262, 130, 112);
    Label9 = caption(this, "Смещение", 380, 114);
    Offset = edit(this, 16, offsetFirstText(), 380, 130, 106);

    // Fourth row: the ALU fields.
    ALU_FL = checkBox(this, "FL/ALU", 8, 175, 64);
    Label6 = caption(this, "Условие", 76, 158);
    Cond = list(this, entriesOf(isa::kConditionNames), 76, 174, 106);
    Label7 = caption(this, "Перенос", 188, 158);
    Carry = list(this, entriesOf(isa::kCarryNames), 188, 174, 64);
    EnableFL = checkBox(this, "Разр FL", 258, 175, 66);
    Label8 = caption(this, "Операция", 326, 158);
    QStringList operations;
    for (const auto& operation : isa::kAluOperations)
        operations << Q(operation.name);
    Oper = list(this, operations, 326, 174, 160);

    // Fifth row: the SHIFT fields.
    Label10 = caption(this, "Направление сдвига", 8, 202);
    Arrow = list(this, entriesOf(isa::kShiftDirectionNames), 8, 218, 104);
    RSR = checkBox(this, "RSR=FL/Cond", 120, 219, 96);
    Label11 = caption(this, "Спец. Опреации", 220, 202);
    SpecOp = list(this, entriesOf(isa::kCombineNames), 220, 218, 134);
    SourceFL = checkBox(this, "FL=Cond/left out bit", 362, 219, 126);

    // Top row, made last so that the panel ends the tab order: the word in
    // binary, and at the right the panel with the word in hexadecimal, PC and
    // the store button.
    Label12 = caption(this, "Bin", 8, 24);
    LabelBin = new QLabel(this);
    LabelBin->setFont(wordFont);
    // Whatever was typed into the word is shown as it stands, never as markup.
    LabelBin->setTextFormat(Qt::PlainText);
    LabelBin->setGeometry(30, 20, 240, 20);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(276, 4, 212, 60);
    Label13 = caption(Panel1, "Hex", 8, 10);
    LabelHex = new QLabel(Panel1);
    LabelHex->setFont(wordFont);
    LabelHex->setTextFormat(Qt::PlainText);
    LabelHex->setGeometry(34, 6, 100, 20);
    Label14 = caption(Panel1, "PC", 8, 35);
    EditPC = edit(Panel1, 8, QString(), 34, 32, 70);
    InsertIR = new QPushButton(QStringLiteral("Вставить"), Panel1);
    InsertIR->setGeometry(116, 31, 86, 24);
    // A click moves the focus here first, so a PC typed just before applies.
    InsertIR->setFocusPolicy(Qt::StrongFocus);
    InsertIR->setAutoDefault(false);

    // The controls carry their names, for tools and tests that look them up.
    const std::pair<QWidget*, const char*> names[] = {
        {Command, "Command"},   {Adress, "Adress"},     {Return, "Return"},
        {Source, "Source"},     {Dest, "Dest"},         {Stack, "Stack"},
        {Offset, "Offset"},     {ALU_FL, "ALU_FL"},     {Cond, "Cond"},
        {Carry, "Carry"},       {EnableFL, "EnableFL"}, {Oper, "Oper"},
        {Arrow, "Arrow"},       {RSR, "RSR"},           {SpecOp, "SpecOp"},
        {SourceFL, "SourceFL"}, {Panel1, "Panel1"},     {EditPC, "EditPC"},
        {InsertIR, "InsertIR"}, {LabelBin, "LabelBin"}, {LabelHex, "LabelHex"},
        {Label1, "Label1"},     {Label2, "Label2"},     {Label3, "Label3"},
        {Label4, "Label4"},     {Label5, "Label5"},     {Label6, "Label6"},
        {Label7, "Label7"},     {Label8, "Label8"},     {Label9, "Label9"},
        {Label10, "Label10"},   {Label11, "Label11"},   {Label12, "Label12"},
        {Label13, "Label13"},   {Label14, "Label14"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));

    const std::array<QWidget*, 18> tabOrder = {
        Command, Adress,   Return, Source, Dest, Stack,  Offset,   ALU_FL, Cond,
        Carry,   EnableFL, Oper,   Arrow,  RSR,  SpecOp, SourceFL, EditPC, InsertIR};
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void TForm4::connectHandlers() {
    const auto onChoice = [this](QComboBox* box, void (TForm4::*handler)()) {
        // Every pick the user makes writes its code, also a pick of the entry
        // already shown; the program setting the index writes nothing.
        connect(box, &QComboBox::activated, this, handler);
    };
    const auto onClick = [this](QCheckBox* box, void (TForm4::*handler)()) {
        // Also fires when the program sets the box, as a click would.
        connect(box, &QCheckBox::toggled, this, handler);
    };
    onChoice(Command, &TForm4::CommandChange);
    kovar::ui::OnFocusExit(Adress, [this] { AdressExit(); });
    onClick(Return, &TForm4::ReturnClick);
    onChoice(Source, &TForm4::SourceChange);
    onChoice(Dest, &TForm4::DestChange);
    onChoice(Stack, &TForm4::StackChange);
    kovar::ui::OnFocusExit(Offset, [this] { OffsetExit(); });
    onClick(ALU_FL, &TForm4::ALU_FLClick);
    onChoice(Cond, &TForm4::CondChange);
    onChoice(Carry, &TForm4::CarryChange);
    onClick(EnableFL, &TForm4::EnableFLClick);
    onChoice(Oper, &TForm4::OperChange);
    onChoice(Arrow, &TForm4::ArrowChange);
    onClick(RSR, &TForm4::RSRClick);
    onChoice(SpecOp, &TForm4::SpecOpChange);
    onClick(SourceFL, &TForm4::SourceFLClick);
    kovar::ui::OnFocusExit(EditPC, [this] { EditPCExit(); });
    connect(InsertIR, &QPushButton::clicked, this, &TForm4::InsertIRClick);
}

std::array<QWidget*, 15> TForm4::fieldControls() const {
    return {Adress, Return,   Source, Dest,  Stack,  ALU_FL, Cond,    Carry,
            Oper,   EnableFL, Offset, Arrow, SpecOp, RSR,    SourceFL};
}

void TForm4::FormCreate() {
    // Every field stays enabled until a class is chosen.
    wordBits_ = QString(kWordLength, QLatin1Char('0')).toStdU32String();
    showWord();
    EditPC->setText(Q(kovar::IntToHexBytes(st_.PC, 4)));
}

void TForm4::showWord() {
    const QString bits = WordBits();
    LabelBin->setText(bits);
    LabelHex->setText(Q(kovar::BinToHexText(S(bits))));
}

void TForm4::Replace(const QString& text, int position) {
    const std::u32string chars = text.toStdU32String();
    if (chars.empty() || position < 1 || position > kWordLength)
        return;
    const auto from = static_cast<std::size_t>(position - 1);
    const std::size_t count = std::min(chars.size(), wordBits_.size() - from);
    wordBits_.replace(from, count, chars, 0, count);
    showWord();
}

void TForm4::EnableField() {
    const int index = Command->currentIndex();
    if (index < 0)
        return;
    const QString& row = FieldEnableTable[static_cast<std::size_t>(index)];
    const auto fields = fieldControls();
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i]->setEnabled(row[static_cast<qsizetype>(i)] == QLatin1Char('1'));
}

void TForm4::writeIndex(const QComboBox* list, int bits, int position) {
    const int index = list->currentIndex();
    if (index >= 0)
        Replace(lowBits(index, bits), position);
}

void TForm4::writeCheck(const QCheckBox* box, int position) {
    Replace(box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"), position);
}

void TForm4::CommandChange() {
    const int index = Command->currentIndex();
    if (index < 0)
        return;
    // A new class starts from an empty word: every field is chosen anew.
    wordBits_ = QString(kWordLength, QLatin1Char('0')).toStdU32String();
    const auto entry = static_cast<std::size_t>(index);
    Replace(CommandCodes[entry], kClassPos);
    // ALU and SHIFT share a class and differ in bit 15.
    const int bit15 = isa::kCommands[entry].bit15;
    if (bit15 >= 0)
        Replace(bit15 != 0 ? QStringLiteral("1") : QStringLiteral("0"), kAluShiftPos);
    clearFields();
    EnableField();
}

void TForm4::clearFields() {
    // The word now holds no field's code, so no control may show one: every
    // list goes back to no choice, every box to cleared and the free-text
    // fields to their first texts (zeros, as the word holds), writing nothing.
    for (QComboBox* list : {Source, Dest, Stack, Cond, Carry, Oper, Arrow, SpecOp})
        list->setCurrentIndex(-1);
    for (QCheckBox* box : {Return, ALU_FL, EnableFL, RSR, SourceFL}) {
        const QSignalBlocker quiet(box);
        box->setChecked(false);
    }
    Adress->setText(adressFirstText());
    Offset->setText(offsetFirstText());
}

// The free-text fields are written as typed, from their most significant
// bit down, and unchecked: a foreign character shows up at the next redraw.
void TForm4::AdressExit() {
    Replace(Adress->text(), kAddressPos);
}
void TForm4::OffsetExit() {
    Replace(Offset->text(), kOffsetPos);
}

void TForm4::ReturnClick() {
    writeCheck(Return, kReturnPos);
}
void TForm4::SourceChange() {
    writeIndex(Source, 4, kSourcePos);
}
void TForm4::DestChange() {
    writeIndex(Dest, 4, kDestPos);
}
void TForm4::StackChange() {
    writeIndex(Stack, 4, kStackPos);
}
void TForm4::ALU_FLClick() {
    writeCheck(ALU_FL, kAluFlPos);
}
void TForm4::CondChange() {
    writeIndex(Cond, 4, kCondPos);
}
void TForm4::CarryChange() {
    writeIndex(Carry, 2, kCarryPos);
}
void TForm4::EnableFLClick() {
    writeCheck(EnableFL, kEnableFlPos);
}

void TForm4::OperChange() {
    const int index = Oper->currentIndex();
    if (index >= 0)
        Replace(OperCodes[static_cast<std::size_t>(index)], kOperPos);
}

void TForm4::ArrowChange() {
    writeIndex(Arrow, 2, kArrowPos);
}
void TForm4::RSRClick() {
    writeCheck(RSR, kRsrPos);
}
void TForm4::SpecOpChange() {
    writeIndex(SpecOp, 2, kSpecOpPos);
}
void TForm4::SourceFLClick() {
    writeCheck(SourceFL, kSourceFlPos);
}

void TForm4::EditPCExit() {
    const int32_t old = std::exchange(st_.PC, kovar::HexToInt(S(EditPC->text())));
    EditPC->setText(Q(kovar::IntToHexBytes(st_.PC, 4)));
    views_.RefreshPC();
    if (st_.PC != old)
        emit edited();
}

void TForm4::ShowPC() {
    if (!EditPC->isModified())
        EditPC->setText(Q(kovar::IntToHexBytes(st_.PC, 4)));
}

void TForm4::InsertIRClick() {
    // A word with a foreign character reads as 0 (after the message).
    const auto word = static_cast<uint32_t>(kovar::BinToInt(S(WordBits())));
    const auto pc = static_cast<uint32_t>(st_.PC);
    // Bytes that fall outside memory are dropped.
    st_.WriteInstructionWord(pc, word);
    views_.RefreshMem();
    st_.PC = static_cast<int32_t>(pc + 4u);
    EditPC->setText(Q(kovar::IntToHexBytes(st_.PC, 4)));
    // The simulator window's PC field shows the new PC at once, so that the
    // next step's heading names the address the instruction comes from.
    views_.RefreshPC();
    emit edited();
}

TForm4::~TForm4() {
    kovar::ui::StopFocusExits(this);
}
