// The instruction constructor window, driven as a user drives it: choices in
// the drop-down lists with the keyboard, text typed into the fields and left
// with Tab, clicks on the check boxes and on "Вставить".
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app.h"
#include "constr.h"
#include "gui_support.h"
#include "mem1.h"
#include "show_error.h"
#include "trace_view.h"
#include "ui_support.h"

namespace {

const QString kBinError = QStringLiteral("Ошибка ввода bin числа");
const QString kHexError = QStringLiteral("Ошибка ввода hex числа");

// Instruction words built from named fields, the way the processor reads them.
struct Fields {
    uint32_t cls = 0;
    uint32_t ret = 0;
    uint32_t b = 0;
    uint32_t a = 0;
    uint32_t stack = 0;
    uint32_t shift = 0;
    uint32_t flAsResult = 0;
    uint32_t cond = 0;
    uint32_t carry = 0;
    uint32_t enableFl = 0;
    uint32_t oper = 0;
};
uint32_t Word(const Fields& f) {
    return f.cls << 29 | f.ret << 28 | f.b << 24 | f.a << 20 | f.stack << 16 | f.shift << 15 |
           f.flAsResult << 14 | f.cond << 10 | f.carry << 8 | f.enableFl << 7 | f.oper;
}
QString Hex8(uint32_t word) {
    return QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0')).toUpper();
}
QString Bin32(uint32_t word) {
    return QStringLiteral("%1").arg(word, 32, 2, QLatin1Char('0'));
}

} // namespace

class ConstructorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<KovarApp> app;
    TForm4* w = nullptr;
    QStringList errors;
    kovar::ErrorHandler previousHandler;

    QWidget* control(const QString& name) const {
        QWidget* found = nullptr;
        for (QWidget* c : std::initializer_list<QWidget*>{
                 w->Command, w->Adress, w->Return, w->Source, w->Dest, w->Stack, w->Offset,
                 w->ALU_FL, w->Cond, w->Carry, w->EnableFL, w->Oper, w->Arrow, w->RSR, w->SpecOp,
                 w->SourceFL, w->EditPC, w->InsertIR})
            if (c->objectName() == name)
                found = c;
        return found;
    }

    static void showAndActivate(QWidget* window) {
        window->show();
        window->raise();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    // Opens the list with a click, walks to the entry with the arrow keys
    // and takes it with Return: one choice, as a user makes it.
    static void choose(QComboBox* list, int index) {
        QVERIFY2(list->isEnabled(), qPrintable(list->objectName()));
        QVERIFY(index >= 0 && index < list->count());
        QSignalSpy changes(list, &QComboBox::currentIndexChanged);
        const int before = list->currentIndex();
        QTest::mouseClick(list, Qt::LeftButton);
        QAbstractItemView* popup = list->view();
        QTRY_VERIFY(popup->isVisible());
        QTest::keyClick(popup, Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QTRY_VERIFY(!popup->isVisible());
        QCOMPARE(list->currentIndex(), index);
        QCOMPARE(changes.count(), before == index ? 0 : 1);
    }
    void choose(QComboBox* list, const QString& entry) {
        const int index = list->findText(entry, Qt::MatchExactly);
        QVERIFY2(index >= 0, qPrintable(entry));
        choose(list, index);
    }
    void chooseClass(const QString& name) { choose(w->Command, name); }

    // Key presses for each character, also for those off the Latin keyboard.
    static void typeText(QWidget* field, const QString& text) {
        for (const QChar ch : text) {
            if (ch.unicode() < 0x80)
                QTest::keyClick(field, ch.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, field,
                                    static_cast<Qt::Key>(ch.toUpper().unicode()), QString(ch),
                                    Qt::NoModifier);
        }
    }

    // Clicks into the field, replaces its text and leaves it with Tab.
    static void typeInto(QLineEdit* field, const QString& text) {
        QVERIFY2(field->isEnabled(), qPrintable(field->objectName()));
        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        typeText(field, text);
        QCOMPARE(field->text(), text);
        QTest::keyClick(field, Qt::Key_Tab);
        QVERIFY(!field->hasFocus());
    }

    static void click(QCheckBox* box) {
        QVERIFY2(box->isEnabled(), qPrintable(box->objectName()));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void clickInsert() { QTest::mouseClick(w->InsertIR, Qt::LeftButton); }

    QString hex() const { return w->LabelHex->text(); }

private slots:
    void init() {
        app = std::make_unique<KovarApp>();
        // The splash screen would take the activation from the windows here.
        app->form1->setSplash(nullptr);
        previousHandler =
            kovar::SetErrorHandler([this](std::string_view m) { errors << kovar::ui::Q(m); });
        errors.clear();
        w = app->form4.get();
        showAndActivate(w);
    }

    void cleanup() {
        kovar::SetErrorHandler(previousHandler);
        app.reset();
        w = nullptr;
    }

    // ---- the window as it opens ----

    void freshWindow() {
        QCOMPARE(w->windowTitle(), QStringLiteral("Конструктор команд"));
        QCOMPARE(w->size(), QSize(494, 260));
        QCOMPARE(w->pos(), QPoint(155, 155));
        QCOMPARE(w->LabelBin->text(), QString(32, QLatin1Char('0')));
        QCOMPARE(hex(), QStringLiteral("00000000"));
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000"));
        QCOMPARE(w->Adress->text(), QString(29, QLatin1Char('0')));
        QCOMPARE(w->Adress->maxLength(), 29);
        QCOMPARE(w->Offset->text(), QString(15, QLatin1Char('0')));
        QCOMPARE(w->Offset->maxLength(), 16);
        QCOMPARE(w->EditPC->maxLength(), 8);
        QCOMPARE(w->InsertIR->text(), QStringLiteral("Вставить"));
        QVERIFY(w->EditPC->parentWidget() == w->Panel1);
        QVERIFY(w->InsertIR->parentWidget() == w->Panel1);
        QVERIFY(w->LabelHex->parentWidget() == w->Panel1);
        for (QLabel* word : {w->LabelBin, w->LabelHex}) {
            QVERIFY(word->font().bold());
            QCOMPARE(word->font().pointSize(), 10);
            // Typed characters such as "<b>" must not turn into markup.
            QCOMPARE(word->textFormat(), Qt::PlainText);
        }
        // Every list offers no free text and has nothing chosen; every box is clear.
        for (QComboBox* list : {w->Command, w->Source, w->Dest, w->Stack, w->Cond, w->Carry,
                                w->Oper, w->Arrow, w->SpecOp}) {
            QVERIFY(!list->isEditable());
            QCOMPARE(list->currentIndex(), -1);
        }
        for (QCheckBox* box : {w->Return, w->ALU_FL, w->EnableFL, w->RSR, w->SourceFL})
            QVERIFY(!box->isChecked());
        // Before a class is chosen every field takes input.
        for (QWidget* field : w->fieldControls())
            QVERIFY2(field->isEnabled(), qPrintable(field->objectName()));
        QVERIFY(errors.isEmpty());
    }

    void captions_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        const std::pair<const char*, const char*> rows[] = {{"Label1", "Команда"},
                                                            {"Label2", "Адрес"},
                                                            {"Label3", "Источник (B)"},
                                                            {"Label4", "Получатель (A)"},
                                                            {"Label5", "Стек"},
                                                            {"Label6", "Условие"},
                                                            {"Label7", "Перенос"},
                                                            {"Label8", "Операция"},
                                                            {"Label9", "Смещение"},
                                                            {"Label10", "Направление сдвига"},
                                                            {"Label11", "Спец. Опреации"},
                                                            {"Label12", "Bin"},
                                                            {"Label13", "Hex"},
                                                            {"Label14", "PC"},
                                                            {"Return", "Возврат"},
                                                            {"ALU_FL", "FL/ALU"},
                                                            {"EnableFL", "Разр FL"},
                                                            {"RSR", "RSR=FL/Cond"},
                                                            {"SourceFL", "FL=Cond/left out bit"}};
        for (const auto& [name, text] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text);
    }
    void captions() {
        QFETCH(QString, label);
        QFETCH(QString, text);
        const std::pair<QString, QWidget*> widgets[] = {
            {"Label1", w->Label1},    {"Label2", w->Label2},     {"Label3", w->Label3},
            {"Label4", w->Label4},    {"Label5", w->Label5},     {"Label6", w->Label6},
            {"Label7", w->Label7},    {"Label8", w->Label8},     {"Label9", w->Label9},
            {"Label10", w->Label10},  {"Label11", w->Label11},   {"Label12", w->Label12},
            {"Label13", w->Label13},  {"Label14", w->Label14},   {"Return", w->Return},
            {"ALU_FL", w->ALU_FL},    {"EnableFL", w->EnableFL}, {"RSR", w->RSR},
            {"SourceFL", w->SourceFL}};
        for (const auto& [name, widget] : widgets) {
            if (name != label)
                continue;
            if (auto* l = qobject_cast<QLabel*>(widget))
                QCOMPARE(l->text(), text);
            else
                QCOMPARE(qobject_cast<QCheckBox*>(widget)->text(), text);
            // Nothing is cut off: the whole caption fits its control.
            QVERIFY2(widget->width() >= widget->sizeHint().width() - 1, qPrintable(label));
            const QRect inWindow(widget->mapTo(w, QPoint(0, 0)), widget->size());
            QVERIFY(w->rect().contains(inWindow));
        }
    }

    void listEntries_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("entries");
        const QStringList registers = {"TOS", "SOS", "3OS",  "4OS",  "TOR",  "SOR",
                                       "3OR", "4OR", "UDR0", "UDR1", "UDR2", "UDR3",
                                       "PC",  "PSW", "ZERO", "none", ""};
        QTest::newRow("Command") << "Command"
                                 << QStringList{"CALL", "BRANCH", "BRANCH_C", "LOAD", "SAVE",
                                                "LAL",  "LAH",    "ALU",      "SHIFT"};
        QTest::newRow("Source") << "Source" << registers;
        QTest::newRow("Dest") << "Dest" << registers;
        QTest::newRow("Stack") << "Stack"
                               << QStringList{
                                      "Push DS",         "Pop DS",          "Push RS",
                                      "Pop RS",          "Pop DS, and RS",  "Push DS, and RS",
                                      "Push DS, Pop RS", "Pop DS, Push RS", "nop"};
        QTest::newRow("Cond") << "Cond" << QStringList{"0",
                                                       "1",
                                                       "V",
                                                       "not V",
                                                       ">",
                                                       "<=",
                                                       "0<",
                                                       "0>=",
                                                       "Z",
                                                       "not Z",
                                                       "беззнаковый >",
                                                       "беззнаковый Б",
                                                       "<",
                                                       ">=",
                                                       "C",
                                                       "not C"};
        QTest::newRow("Carry") << "Carry" << QStringList{"0", "1", "FL", "not FL"};
        QTest::newRow("Oper") << "Oper"
                              << QStringList{"not (A and B)",
                                             "A or not (B)",
                                             "not(A) or B",
                                             "A or B",
                                             "0",
                                             "not A",
                                             "-1",
                                             "A",
                                             "not B",
                                             "B",
                                             "A xor B",
                                             "not (A) + перенос",
                                             "A + перенос",
                                             "not (B) + перенос",
                                             "not (A) + not (B) перенос",
                                             "not (B) - not (перенос)",
                                             "A - B - not (перенос)",
                                             "not (A) - not (перенос)",
                                             "A - not (перенос)",
                                             "B + перенос",
                                             "B - A - not (перенос)",
                                             "B - not (перенос)",
                                             "A + B + перенос",
                                             "A and B",
                                             "not (A) and B",
                                             "A and not (B)",
                                             "not (A or B)",
                                             "not (A xor B)"};
        QTest::newRow("Arrow") << "Arrow" << QStringList{"<<", ">>", "nop", "nop"};
        QTest::newRow("SpecOp") << "SpecOp"
                                << QStringList{"B + перенос", "B - A - перенос", "A + B +  перенос",
                                               "A + B + not(перенос)"};
    }
    void listEntries() {
        QFETCH(QString, list);
        QFETCH(QStringList, entries);
        auto* box = qobject_cast<QComboBox*>(control(list));
        QVERIFY(box);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        QCOMPARE(shown, entries);
    }

    void tabOrder() {
        const QStringList expected = {"Command",  "Adress", "Return",   "Source", "Dest",
                                      "Stack",    "Offset", "ALU_FL",   "Cond",   "Carry",
                                      "EnableFL", "Oper",   "Arrow",    "RSR",    "SpecOp",
                                      "SourceFL", "EditPC", "InsertIR", "Command"};
        // The window opens with the focus on its first control.
        QTRY_COMPARE(QApplication::focusWidget(), w->Command);
        QStringList visited = {QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);
    }

    // ---- what each control writes ----

    void classWords_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("word");
        const std::pair<const char*, const char*> rows[] = {
            {"CALL", "00000000"}, {"BRANCH", "20000000"}, {"BRANCH_C", "40000000"},
            {"LOAD", "80000000"}, {"SAVE", "A0000000"},   {"LAL", "C0000000"},
            {"LAH", "E0000000"},  {"ALU", "60000000"},    {"SHIFT", "60008000"}};
        for (const auto& [entry, word] : rows)
            QTest::newRow(entry) << QString::fromLatin1(entry) << QString::fromLatin1(word);
    }
    void classWords() {
        QFETCH(QString, entry);
        QFETCH(QString, word);
        // A word with other bits set first, so that the class choice must clear them.
        choose(w->Source, "none");
        choose(w->Oper, "not (A xor B)");
        chooseClass(entry);
        QCOMPARE(hex(), word);
        QCOMPARE(w->LabelBin->text(), Bin32(word.toUInt(nullptr, 16)));
        QVERIFY(errors.isEmpty());
    }

    void enabledFields_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("enabled");
        // One character per control, in this order:
        // Adress Return Source Dest Stack ALU_FL Cond Carry Oper EnableFL
        // Offset Arrow SpecOp RSR SourceFL.
        const std::pair<const char*, const char*> rows[] = {
            {"CALL", "+--------------"},     {"BRANCH", "+--------------"},
            {"BRANCH_C", "+--------------"}, {"LOAD", "-++++-----+----"},
            {"SAVE", "-++++-----+----"},     {"LAL", "-++++-----+----"},
            {"LAH", "-++++-----+----"},      {"ALU", "-+++++++++-----"},
            {"SHIFT", "-+++++++-+-++++"}};
        for (const auto& [entry, enabled] : rows)
            QTest::newRow(entry) << QString::fromLatin1(entry) << QString::fromLatin1(enabled);
    }
    void enabledFields() {
        QFETCH(QString, entry);
        QFETCH(QString, enabled);
        const QStringList order = {"Adress", "Return", "Source", "Dest", "Stack",
                                   "ALU_FL", "Cond",   "Carry",  "Oper", "EnableFL",
                                   "Offset", "Arrow",  "SpecOp", "RSR",  "SourceFL"};
        // From another class first, so that each control must be set either way.
        chooseClass(entry == QStringLiteral("SHIFT") ? "CALL" : "SHIFT");
        chooseClass(entry);
        for (int i = 0; i < order.size(); ++i)
            QVERIFY2(control(order[i])->isEnabled() == (enabled[i] == QLatin1Char('+')),
                     qPrintable(order[i]));
        for (const char* always : {"Command", "EditPC", "InsertIR"})
            QVERIFY(control(QString::fromLatin1(always))->isEnabled());
    }

    void fieldPositions_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("input"); // list index, or the text to type; none: click
        QTest::addColumn<QString>("word");
        const auto row = [](const char* name, const char* entry, const char* field,
                            const QVariant& input, const char* word) {
            QTest::newRow(name) << QString::fromLatin1(entry) << QString::fromLatin1(field) << input
                                << QString::fromLatin1(word);
        };
        const QVariant click;
        row("Return", "ALU", "Return", click, "70000000");
        row("Source PC", "ALU", "Source", 12, "6C000000");
        row("Source none", "ALU", "Source", 15, "6F000000");
        row("Dest none", "ALU", "Dest", 15, "60F00000");
        row("Dest SOS", "ALU", "Dest", 1, "60100000");
        row("Stack nop", "ALU", "Stack", 8, "60080000");
        row("Stack Pop DS, Push RS", "ALU", "Stack", 7, "60070000");
        row("FL/ALU", "ALU", "ALU_FL", click, "60004000");
        row("Cond V", "ALU", "Cond", 2, "60000800");
        row("Cond not C", "ALU", "Cond", 15, "60003C00");
        row("Carry 1", "ALU", "Carry", 1, "60000100");
        row("Carry not FL", "ALU", "Carry", 3, "60000300");
        row("Разр FL", "ALU", "EnableFL", click, "60000080");
        row("Oper not (A and B)", "ALU", "Oper", 0, "60000015");
        row("Oper 0", "ALU", "Oper", 4, "60000020");
        row("Oper A + B + перенос", "ALU", "Oper", 22, "6000004F");
        row("Oper not (A xor B)", "ALU", "Oper", 27, "6000006F");
        row("Arrow >>", "SHIFT", "Arrow", 1, "60008020");
        row("Arrow second nop", "SHIFT", "Arrow", 3, "60008060");
        row("RSR", "SHIFT", "RSR", click, "60008010");
        row("SpecOp B - A - перенос", "SHIFT", "SpecOp", 1, "60008004");
        row("SpecOp A + B + not(перенос)", "SHIFT", "SpecOp", 3, "6000800C");
        row("SourceFL", "SHIFT", "SourceFL", click, "60008002");
        row("Return on LOAD", "LOAD", "Return", click, "90000000");
        row("Offset low bit", "LOAD", "Offset", QStringLiteral("0000000000000001"), "80000001");
        row("Offset top bit", "LOAD", "Offset", QStringLiteral("1"), "80008000");
        row("Offset all", "SAVE", "Offset", QStringLiteral("1111111111111111"), "A000FFFF");
        row("Adress top bit", "CALL", "Adress", QStringLiteral("1"), "10000000");
        row("Adress all", "BRANCH", "Adress", QString(29, QLatin1Char('1')), "3FFFFFFF");
    }
    void fieldPositions() {
        QFETCH(QString, entry);
        QFETCH(QString, field);
        QFETCH(QVariant, input);
        QFETCH(QString, word);
        chooseClass(entry);
        const QString classWord = hex();
        QWidget* c = control(field);
        if (auto* list = qobject_cast<QComboBox*>(c)) {
            choose(list, input.toInt());
        } else if (auto* text = qobject_cast<QLineEdit*>(c)) {
            typeInto(text, input.toString());
        } else {
            auto* box = qobject_cast<QCheckBox*>(c);
            click(box);
            QVERIFY(box->isChecked());
            QCOMPARE(hex(), word);
            // Clearing the box writes 0 again.
            click(box);
            QVERIFY(!box->isChecked());
            QCOMPARE(hex(), classWord);
            click(box);
        }
        QCOMPARE(hex(), word);
        QCOMPARE(w->LabelBin->text(), Bin32(word.toUInt(nullptr, 16)));
        QVERIFY(errors.isEmpty());
    }

    // The 17th, empty entry of the register lists writes 0000, like "TOS".
    void emptyRegisterEntry_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("Source") << QStringLiteral("Source");
        QTest::newRow("Dest") << QStringLiteral("Dest");
    }
    void emptyRegisterEntry() {
        QFETCH(QString, field);
        auto* list = qobject_cast<QComboBox*>(control(field));
        chooseClass("ALU");
        choose(list, "none");
        QVERIFY(hex() != QStringLiteral("60000000"));
        choose(list, 16);
        QCOMPARE(list->currentText(), QString());
        QCOMPARE(hex(), QStringLiteral("60000000"));
    }

    // Typed bits are written from the field's most significant bit down and
    // leave the bits after them as they were.
    void typedBits_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("firstWord");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("secondWord");
        const QString ones29(29, QLatin1Char('1'));
        const QString ones16(16, QLatin1Char('1'));
        QTest::newRow("Adress partially") << "CALL"
                                          << "Adress" << ones29 << "1FFFFFFF"
                                          << "010"
                                          << "0BFFFFFF";
        QTest::newRow("Adress emptied") << "BRANCH_C"
                                        << "Adress" << ones29 << "5FFFFFFF"
                                        << ""
                                        << "5FFFFFFF";
        QTest::newRow("Adress 101") << "CALL"
                                    << "Adress" << QString(29, QLatin1Char('0')) << "00000000"
                                    << "101"
                                    << "14000000";
        QTest::newRow("Offset partially") << "LOAD"
                                          << "Offset" << ones16 << "8000FFFF"
                                          << "101"
                                          << "8000BFFF";
        QTest::newRow("Offset emptied") << "LAL"
                                        << "Offset" << ones16 << "C000FFFF"
                                        << ""
                                        << "C000FFFF";
    }
    void typedBits() {
        QFETCH(QString, entry);
        QFETCH(QString, field);
        QFETCH(QString, first);
        QFETCH(QString, firstWord);
        QFETCH(QString, second);
        QFETCH(QString, secondWord);
        auto* edit = qobject_cast<QLineEdit*>(control(field));
        chooseClass(entry);
        typeInto(edit, first);
        QCOMPARE(hex(), firstWord);
        typeInto(edit, second);
        QCOMPARE(hex(), secondWord);
        QVERIFY(errors.isEmpty());
    }

    // The initial 15 zeros of "Смещение" clear bits 15 to 1 and leave bit 0;
    // before any class is chosen, fields overlap and the last one written wins.
    void initialOffsetLeavesBitZero() {
        choose(w->Oper, "not (A xor B)");
        QCOMPARE(hex(), QStringLiteral("0000006F"));
        choose(w->Arrow, 3);
        QCOMPARE(hex(), QStringLiteral("0000006F"));
        QTest::mouseClick(w->Offset, Qt::LeftButton);
        QTest::keyClick(w->Offset, Qt::Key_Tab);
        QCOMPARE(hex(), QStringLiteral("00000001"));
        // The untouched "Адрес" writes its 29 zeros.
        choose(w->Source, "none");
        QCOMPARE(hex(), QStringLiteral("0F000001"));
        QTest::mouseClick(w->Adress, Qt::LeftButton);
        QTest::keyClick(w->Adress, Qt::Key_Tab);
        QCOMPARE(hex(), QStringLiteral("00000000"));
    }

    void foreignCharacter() {
        chooseClass("LOAD");
        // A Cyrillic "О" looks like a zero but is not a bit.
        typeInto(w->Offset, QStringLiteral("1О1"));
        QCOMPARE(errors, QStringList{kBinError});
        QCOMPARE(hex(), QStringLiteral("0"));
        QCOMPARE(w->LabelBin->text(), QStringLiteral("100") + QString(13, QLatin1Char('0')) +
                                          QStringLiteral("1О1") + QString(13, QLatin1Char('0')));
        // Every write goes on failing while the character is in the word.
        choose(w->Source, "PC");
        QCOMPARE(errors.size(), 2);
        QCOMPARE(hex(), QStringLiteral("0"));
        QVERIFY(w->LabelBin->text().startsWith(QStringLiteral("10001100")));
        // Clean bits over it bring the hexadecimal text back.
        typeInto(w->Offset, QStringLiteral("101"));
        QCOMPARE(errors.size(), 2);
        QCOMPARE(hex(), QStringLiteral("8C00A000"));

        // A class choice clears it as well.
        typeInto(w->Offset, QStringLiteral("x"));
        QCOMPARE(errors.size(), 3);
        chooseClass("LAH");
        QCOMPARE(errors.size(), 3);
        QCOMPARE(hex(), QStringLiteral("E0000000"));
    }

    void storeWithForeignCharacter() {
        kovar::MachineState& st = app->state;
        for (int a = 0; a < 4; ++a)
            st.Memory[static_cast<std::size_t>(a)] = 0xAA;
        chooseClass("CALL");
        typeInto(w->Adress, QStringLiteral("12"));
        QCOMPARE(errors, QStringList{kBinError});
        clickInsert();
        QCOMPARE(errors, (QStringList{kBinError, kBinError}));
        for (int a = 0; a < 4; ++a)
            QCOMPARE(st.Memory[static_cast<std::size_t>(a)], uint8_t{0});
        QCOMPARE(st.PC, 4);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000004"));
    }

    // A class choice clears every field's bits, and the controls show that:
    // no list shows a choice and no box a tick that the word does not hold.
    void classChangeClearsFields() {
        const auto showsNothing = [this] {
            for (QComboBox* list :
                 {w->Source, w->Dest, w->Stack, w->Cond, w->Carry, w->Oper, w->Arrow, w->SpecOp})
                QVERIFY2(list->currentIndex() == -1, qPrintable(list->objectName()));
            for (QCheckBox* box : {w->Return, w->ALU_FL, w->EnableFL, w->RSR, w->SourceFL})
                QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
            QCOMPARE(w->Adress->text(), QString(29, QLatin1Char('0')));
            QCOMPARE(w->Offset->text(), QString(15, QLatin1Char('0')));
        };
        chooseClass("ALU");
        choose(w->Source, "PC");
        choose(w->Dest, "none");
        choose(w->Stack, "nop");
        click(w->Return);
        click(w->EnableFL);
        choose(w->Oper, "0");
        QCOMPARE(hex(), QStringLiteral("7CF800A0"));
        chooseClass("SHIFT");
        QCOMPARE(hex(), QStringLiteral("60008000"));
        showsNothing();
        chooseClass("ALU");
        QCOMPARE(hex(), QStringLiteral("60000000"));
        showsNothing();
        // What is then chosen is what is stored.
        choose(w->Source, "PC");
        QCOMPARE(hex(), QStringLiteral("6C000000"));
        clickInsert();
        QCOMPARE(app->state.ReadInstructionWord(0), 0x6C000000u);

        // Picking the class already shown starts a fresh word, as a first pick does.
        click(w->ALU_FL);
        QCOMPARE(hex(), QStringLiteral("6C004000"));
        chooseClass("ALU");
        QCOMPARE(hex(), QStringLiteral("60000000"));
        showsNothing();

        // Typed text goes the same way; a disabled field shows no choice either.
        chooseClass("LOAD");
        typeInto(w->Offset, QStringLiteral("11"));
        choose(w->Source, "SOS");
        QCOMPARE(hex(), QStringLiteral("8100C000"));
        chooseClass("CALL");
        QCOMPARE(hex(), QStringLiteral("00000000"));
        showsNothing();
        QVERIFY(!w->Source->isEnabled());
        QVERIFY(errors.isEmpty());
    }

    // Before a class is chosen the fields overlap: a list can show an entry
    // whose code a later write replaced. Picking that entry writes it again.
    void pickingTheShownEntryWritesIt() {
        choose(w->Oper, "0");
        QCOMPARE(hex(), QStringLiteral("00000020"));
        choose(w->Arrow, "<<");
        QCOMPARE(hex(), QStringLiteral("00000000"));
        QCOMPARE(w->Oper->currentText(), QStringLiteral("0"));
        choose(w->Oper, "0");
        QCOMPARE(hex(), QStringLiteral("00000020"));
        // The program setting an index writes nothing.
        w->Oper->setCurrentIndex(27);
        QCOMPARE(hex(), QStringLiteral("00000020"));
    }

    // ---- storing ----

    void insertAtPcZero() {
        kovar::MachineState& st = app->state;
        showAndActivate(app->form1.get());
        showAndActivate(w);
        chooseClass("ALU");
        QCOMPARE(hex(), QStringLiteral("60000000"));
        clickInsert();
        QCOMPARE(st.Memory[0], uint8_t{0x60});
        QCOMPARE(st.Memory[1], uint8_t{0});
        QCOMPARE(st.Memory[2], uint8_t{0});
        QCOMPARE(st.Memory[3], uint8_t{0});
        QCOMPARE(st.PC, 4);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000004"));
        // The simulator window shows the store and the new PC at once.
        QCOMPARE(app->form1->MemCells[0]->text(), QStringLiteral("60"));
        QCOMPARE(app->form1->EditPC->text(), QStringLiteral("00000004"));
        // Nothing is fetched and nothing is narrated.
        QVERIFY(st.IR.empty());
        QCOMPARE(app->form1->MemoDeb->lineCount(), std::size_t{0});
        QCOMPARE(app->log.size(), std::size_t{0});

        // The word stays: pressing again stores it at the next address.
        choose(w->Source, "PC");
        clickInsert();
        QCOMPARE(st.Memory[4], uint8_t{0x6C});
        QCOMPARE(st.Memory[0], uint8_t{0x60});
        QCOMPARE(app->form1->MemCells[4]->text(), QStringLiteral("6C"));
        clickInsert();
        QCOMPARE(st.Memory[8], uint8_t{0x6C});
        QCOMPARE(st.PC, 12);
        QCOMPARE(w->EditPC->text(), QStringLiteral("0000000C"));
        QVERIFY(errors.isEmpty());
    }

    // At the end of memory the bytes inside are stored, the others dropped.
    void insertAtMemoryEnd() {
        kovar::MachineState& st = app->state;
        chooseClass("ALU");
        choose(w->Source, "PC");
        choose(w->Dest, "none");
        choose(w->Stack, "nop");
        choose(w->Cond, "not C");
        choose(w->Oper, "0");
        QCOMPARE(hex(), QStringLiteral("6CF83C20"));
        // The address typed into PC applies before the store.
        QTest::mouseClick(w->EditPC, Qt::LeftButton);
        QTest::keyClick(w->EditPC, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w->EditPC, QStringLiteral("3e6"));
        clickInsert();
        QCOMPARE(st.Memory[998], uint8_t{0x6C});
        QCOMPARE(st.Memory[999], uint8_t{0xF8});
        QCOMPARE(st.Memory[1000], uint8_t{0x3C});
        // Nothing came round to the start of memory.
        for (int a = 0; a < 998; ++a)
            QCOMPARE(st.Memory[static_cast<std::size_t>(a)], uint8_t{0});
        QCOMPARE(st.PC, 1002);
        QCOMPARE(w->EditPC->text(), QStringLiteral("000003EA"));
        QCOMPARE(app->form1->EditPC->text(), QStringLiteral("000003EA"));
        QVERIFY(errors.isEmpty());
    }

    void editPc_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("pc");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("error");
        QTest::newRow("lower case") << "1a" << 26 << "0000001A" << false;
        QTest::newRow("upper case") << "3E8" << 1000 << "000003E8" << false;
        QTest::newRow("eight digits") << "fffffffc" << -4 << "FFFFFFFC" << false;
        QTest::newRow("empty") << "" << 0 << "00000000" << false;
        QTest::newRow("not hex") << "1g" << 0 << "00000000" << true;
        QTest::newRow("sign") << "-4" << 0 << "00000000" << true;
    }
    void editPc() {
        QFETCH(QString, typed);
        QFETCH(int, pc);
        QFETCH(QString, shown);
        QFETCH(bool, error);
        app->state.PC = 0x55;
        typeInto(w->EditPC, typed);
        QCOMPARE(app->state.PC, pc);
        QCOMPARE(w->EditPC->text(), shown);
        QCOMPARE(app->form1->EditPC->text(), shown);
        QCOMPARE(errors, error ? QStringList{kHexError} : QStringList{});
    }

    // EditPC always shows PC, whatever changed it, so a store never lands
    // on an address the window no longer shows.
    void editPcFollowsPc() {
        TForm1* main = app->form1.get();
        kovar::MachineState& st = app->state;
        typeInto(w->EditPC, QStringLiteral("10"));
        st.PC = 40;
        main->RefreshPC();
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000028"));
        chooseClass("LAH");
        clickInsert();
        QCOMPARE(st.Memory[40], uint8_t{0xE0});
        QCOMPARE(w->EditPC->text(), QStringLiteral("0000002C"));

        // The simulator window's own PC field, a step, New and Load.
        showAndActivate(main);
        main->EditPC->setFocus(Qt::OtherFocusReason);
        main->EditPC->selectAll();
        QTest::keyClicks(main->EditPC, QStringLiteral("28"));
        QTest::keyClick(main->EditPC, Qt::Key_Tab);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000028"));
        QTest::keyClick(main, Qt::Key_F7); // LAH at 40: PC + 4
        QCOMPARE(st.PC, 44);
        QCOMPARE(w->EditPC->text(), QStringLiteral("0000002C"));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pc.emu"));
        main->askSaveFileName = [&] { return file; };
        main->N8->trigger();
        main->N10->trigger();
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000000"));
        main->askOpenFileName = [&] { return file; };
        main->N11->trigger();
        QCOMPARE(w->EditPC->text(), QStringLiteral("0000002C"));

        // Text typed here and not yet left stays until the field is left.
        showAndActivate(w);
        QTest::mouseClick(w->EditPC, Qt::LeftButton);
        QTest::keyClick(w->EditPC, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w->EditPC, QStringLiteral("8"));
        st.PC = 0;
        main->RefreshPC();
        QCOMPARE(w->EditPC->text(), QStringLiteral("8"));
        QVERIFY(errors.isEmpty());
    }

    // After a store, a step from this window runs the next instruction and
    // its heading names the address it was fetched from.
    void stepAfterInsertNamesItsAddress() {
        TForm1* main = app->form1.get();
        showAndActivate(main);
        showAndActivate(w);
        chooseClass("LAL"); // LAL: PC + 4, nothing else
        clickInsert();
        chooseClass("LAH");
        QCOMPARE(app->state.PC, 4);
        app->state.WriteInstructionWord(4, 0xC0000000u);
        QTest::keyClick(w->Command, Qt::Key_F7);
        const TraceView* pane = main->MemoDeb;
        QVERIFY(pane->lineCount() > 0);
        QCOMPARE(pane->lineText(0),
                 QStringLiteral("PC: 00000004 IR: C0000000 ") + Bin32(0xC0000000u));
        QCOMPARE(app->state.PC, 8);
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000008"));
        QCOMPARE(main->EditPC->text(), QStringLiteral("00000008"));

        // A PC typed here and not yet left counts before the step.
        app->state.WriteInstructionWord(0x20, 0xC0000000u);
        QTest::mouseClick(w->EditPC, Qt::LeftButton);
        QTest::keyClick(w->EditPC, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w->EditPC, QStringLiteral("20"));
        QTest::keyClick(w->EditPC, Qt::Key_F7);
        QVERIFY(pane->lineCount() > 2);
        QCOMPARE(pane->lineText(2),
                 QStringLiteral("PC: 00000020 IR: C0000000 ") + Bin32(0xC0000000u));
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000024"));
        QVERIFY(errors.isEmpty());
    }

    // ---- the window among the others ----

    void menuShowsAndCloseHides() {
        w->hide();
        TForm1* main = app->form1.get();
        showAndActivate(main);
        QTest::keyClick(main, Qt::Key_H, Qt::ControlModifier);
        QTRY_VERIFY(w->isVisible());
        QTRY_VERIFY(w->isActiveWindow());
        chooseClass("SHIFT");
        click(w->RSR);
        typeInto(w->EditPC, QStringLiteral("20"));
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QVERIFY(main->isVisible());

        // Shown again, it is the same window with everything as it was left.
        showAndActivate(main);
        QTest::keyClick(main, Qt::Key_H, Qt::ControlModifier);
        QTRY_VERIFY(w->isVisible());
        QCOMPARE(hex(), QStringLiteral("60008010"));
        QCOMPARE(w->Command->currentText(), QStringLiteral("SHIFT"));
        QVERIFY(w->RSR->isChecked());
        QVERIFY(!w->Adress->isEnabled());
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000020"));
        // The menu entry brings a shown window to the front.
        showAndActivate(main);
        QTest::keyClick(main, Qt::Key_H, Qt::ControlModifier);
        QTRY_VERIFY(w->isActiveWindow());
    }

    // A small program assembled with the constructor, then run with F9 in
    // the simulator window.
    void assembleAndRun() {
        TForm1* main = app->form1.get();
        kovar::MachineState& st = app->state;
        showAndActivate(main);
        showAndActivate(w);

        // 0: TOS := -1 on a new top entry.
        chooseClass("ALU");
        choose(w->Source, "ZERO");
        choose(w->Dest, "TOS");
        choose(w->Stack, "Push DS");
        choose(w->Carry, "0");
        choose(w->Oper, "-1");
        clickInsert();
        // 4: TOS + TOS on a new top entry; FL := the carry out.
        choose(w->Source, "TOS");
        choose(w->Cond, "C");
        click(w->EnableFL);
        choose(w->Oper, "A + B + перенос");
        clickInsert();
        // 8: TOS xor SOS, the two entries replaced by one.
        choose(w->Source, "SOS");
        choose(w->Stack, "Pop DS");
        choose(w->Carry, "FL");
        click(w->EnableFL);
        choose(w->Oper, "A xor B");
        clickInsert();
        // 12: TOR := TOS on a new return-stack entry.
        choose(w->Source, "TOS");
        choose(w->Dest, "TOR");
        choose(w->Stack, "Push RS");
        choose(w->Carry, "0");
        choose(w->Oper, "B");
        clickInsert();
        QCOMPARE(w->EditPC->text(), QStringLiteral("00000010"));
        // Back to the start of the program.
        typeInto(w->EditPC, QStringLiteral("0"));
        QVERIFY(errors.isEmpty());

        const std::array<uint32_t, 4> program = {
            Word({.cls = 3, .b = 14, .a = 0, .stack = 0, .carry = 0, .oper = 0x22}),
            Word({.cls = 3,
                  .b = 0,
                  .a = 0,
                  .stack = 0,
                  .cond = 14,
                  .carry = 0,
                  .enableFl = 1,
                  .oper = 0x4F}),
            Word({.cls = 3, .b = 1, .a = 0, .stack = 1, .cond = 14, .carry = 2, .oper = 0x2F}),
            Word({.cls = 3, .b = 0, .a = 4, .stack = 2, .cond = 14, .carry = 0, .oper = 0x2C})};
        for (std::size_t i = 0; i < program.size(); ++i)
            QCOMPARE(st.ReadInstructionWord(static_cast<uint32_t>(4 * i)), program[i]);

        // The halt word after it, typed into the memory view.
        showAndActivate(main);
        QLineEdit* cell = main->MemCells[16];
        QTest::mouseClick(cell, Qt::LeftButton);
        QTest::keyClick(cell, Qt::Key_A, Qt::ControlModifier);
        for (int i = 16; i < 20; ++i) {
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ff"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(st.ReadInstructionWord(16), 0xFFFFFFFFu);
        QCOMPARE(main->EditPC->text(), QStringLiteral("00000000"));

        QTest::keyClick(main, Qt::Key_F9);

        // DS: -1 on a pushed entry, -2 above it, then -2 xor -1 in place of
        // both; RS: the final TOS, pushed onto it.
        QStringList ds, rs;
        for (int i = 0; i < 3; ++i) {
            ds << main->DSView.items[i]->text();
            rs << main->RSView.items[i]->text();
        }
        QCOMPARE(ds, (QStringList{"00000001", "00000000", "00000000"}));
        QCOMPARE(rs, (QStringList{"00000001", "00000000", "00000000"}));
        QCOMPARE(main->EditPC->text(), QStringLiteral("00000010"));
        QVERIFY(main->CheckBoxFL->isChecked());

        const auto heading = [&](int pc) {
            const uint32_t word = program[static_cast<std::size_t>(pc / 4)];
            return QStringLiteral("PC: %1 IR: %2 %3")
                .arg(Hex8(static_cast<uint32_t>(pc)), Hex8(word), Bin32(word));
        };
        const QStringList expected = {heading(0),      "ALU",           "ZERO: 00000000",
                                      "TOS: 00000000", "Push DS",       "Carry:0",
                                      "TOS: FFFFFFFF", heading(4),      "ALU",
                                      "TOS: FFFFFFFF", "TOS: FFFFFFFF", "Push DS",
                                      "Carry:0",       "TOS: FFFFFFFE", heading(8),
                                      "ALU",           "SOS: FFFFFFFF", "TOS: FFFFFFFE",
                                      "Pop DS",        "Carry:1",       "TOS: 00000001",
                                      heading(12),     "ALU",           "TOS: 00000001",
                                      "TOR: 00000000", "Push RDS",      "Carry:0",
                                      "TOR: 00000001", "Halt"};
        const TraceView* pane = main->MemoDeb;
        QStringList trace;
        for (std::size_t r = 0; r < pane->lineCount(); ++r)
            trace << pane->lineText(r);
        QCOMPARE(trace, expected);
        QVERIFY(errors.isEmpty());
    }
};

QTEST_MAIN(ConstructorTest)
#include "gui_constructor.moc"
