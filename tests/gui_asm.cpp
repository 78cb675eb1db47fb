// The source and listing windows, driven as a user drives them: the menu
// keys, program text typed into the editor, the assemble key, clicks on
// errors, double-clicks on listing rows, Open/Save/New with unsaved text,
// the examples, the folders the dialogs remember, and the help menu.
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolTip>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "app.h"
#include "asm_window.h"
#include "gui_support.h"
#include "help_menu.h"
#include "listing_window.h"
#include "machine_link.h"
#include "mem1.h"
#include "memory_image.h"
#include "show_error.h"
#include "theme.h"
#include "ui_support.h"

namespace {

// A short program: 6 * 7 by repeated addition into TOS, starting at 16.
const char* const kProgram = R"(; six times seven
        .org 16
start:  LOAD  UDR0, ZERO, six
        LOAD  UDR1, ZERO, seven
        ALU   TOS, ZERO, zero, pushds
loop:   ALU   TOS, UDR0, a+b+c
        ALU   UDR1, ZERO, a-~c, cond=nz, setfl
        BRANCH_C loop
        .break
        halt
six:    .data 6
seven:  .data 7
)";
constexpr uint32_t kHaltAddress = 40;

// Answers the next modal dialog (a question or a file dialog) with `answer`
// once it is open.
template <class Dialog> void Answer(std::function<void(Dialog*)> answer) {
    QTimer::singleShot(0, [answer] {
        QTRY_VERIFY(qobject_cast<Dialog*>(QApplication::activeModalWidget()));
        answer(qobject_cast<Dialog*>(QApplication::activeModalWidget()));
    });
}

// The line of the unsaved-text question that says what is unsaved.
QString AskedAbout(const std::function<int()>& ask) {
    QString what;
    Answer<QMessageBox>([&what](QMessageBox* box) {
        what = box->informativeText();
        box->button(QMessageBox::Cancel)->click();
    });
    ask();
    return what;
}

// The folder and the name that the next file dialog offers are noted, and
// `file` is chosen.
void ChooseIn(const QString& file, QString* folder, QString* offered = nullptr) {
    Answer<QFileDialog>([file, folder, offered](QFileDialog* dialog) {
        *folder = QFileInfo(dialog->directory().absolutePath()).canonicalFilePath();
        if (offered)
            *offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own
    });
}

std::string ReadText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

class AsmWindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<KovarApp> app;
    AsmWindow* src = nullptr;
    ListingWindow* lst = nullptr;
    QStringList errors;
    kovar::ErrorHandler previousHandler;

    // Types the text into the editor key by key, lines ended with Return.
    void typeProgram(const QString& text) {
        QTest::mouseClick(src->Editor->viewport(), Qt::LeftButton);
        QTest::keyClick(src->Editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(src->Editor, Qt::Key_Delete);
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            QTest::keyClicks(src->Editor, line);
            QTest::keyClick(src->Editor, Qt::Key_Return);
            QTest::keyClick(src->Editor, Qt::Key_Home); // no auto-indent in the way
        }
        QCOMPARE(src->Editor->toPlainText().trimmed(), text.trimmed());
    }
    void pressAssemble() { QTest::keyClick(src->Editor, Qt::Key_Return, Qt::ControlModifier); }

    // Whether the row of the listing at `address` is painted highlighted.
    bool rowHighlighted(uint32_t address) {
        return rowPaintedHighlighted(lst->View->rowOf(address));
    }
    bool rowPaintedHighlighted(int listingRow) {
        ListingView* v = lst->View;
        const int row = listingRow - v->firstVisibleRow();
        if (listingRow < 0 || row < 0 || row >= v->visibleRows())
            return false;
        const QImage image = v->viewport()->grab().toImage();
        const int rowHeight = v->rowHeight();
        const QColor c =
            image.pixelColor(image.width() - 3,
                             static_cast<int>((row + 0.5) * rowHeight * image.devicePixelRatio()));
        return c != v->palette().base().color();
    }

    // The lines (from 1) of the editor painted with the running-line band.
    QList<int> underlaidLines() {
        CodeEditor* e = src->Editor;
        const QImage image = e->viewport()->grab().toImage();
        const QColor band = kovar::ui::ThemeOf(e).runningLine;
        QList<int> lines;
        for (int line = 1; line <= e->blockCount(); ++line) {
            const QRect r = e->gutterLineRect(line);
            if (!r.isEmpty() &&
                image.pixelColor(image.width() - 3,
                                 static_cast<int>(r.center().y() * image.devicePixelRatio())) ==
                    band)
                lines << line;
        }
        return lines;
    }
    void clickGutter(int line) {
        QTest::mouseClick(src->Editor->gutter(), Qt::LeftButton, {},
                          src->Editor->gutterLineRect(line).center());
    }

private slots:
    void initTestCase() { kovar::test::QuietRaiseWarnings(); }
    void init() {
        app = std::make_unique<KovarApp>();
        app->form1->setSplash(nullptr);
        previousHandler =
            kovar::SetErrorHandler([this](std::string_view m) { errors << kovar::ui::Q(m); });
        errors.clear();
        src = app->asmWindow.get();
        lst = app->listingWindow.get();
        // Assembling over unsaved work asks first: here the work is let go.
        app->form1->askSaveChanges = [] { return int(QMessageBox::Discard); };
        QVERIFY(kovar::test::Activate(app->form1.get()));
        // The menu keys work also from an edit field that has the focus.
        QLineEdit* cell = app->form1->MemCells[0];
        QTest::mouseClick(cell, Qt::LeftButton);
        QTRY_VERIFY(cell->hasFocus());
        QTest::keyClick(cell, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(lst->isVisible());
        QTest::keyClick(cell, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(src->isVisible());
        QVERIFY(kovar::test::Activate(src));
    }
    void cleanup() {
        kovar::SetErrorHandler(previousHandler);
        app.reset();
    }

    void assembleWritesMemoryAndTheViewsFollow() {
        QSignalSpy edited(app->form1.get(), &TForm1::edited);
        app->state.DS[3] = 99; // kept: assembling replaces memory only
        typeProgram(QString::fromUtf8(kProgram));
        pressAssemble();
        const kovar::MachineState& st = app->state;
        QCOMPARE(st.PC, 16);
        QCOMPARE(st.ReadInstructionWord(kHaltAddress), 0xFFFFFFFFu);
        QCOMPARE(st.ReadDataWord(44), 6u);
        QCOMPARE(st.BreakpointMarks[kHaltAddress], uint8_t{1});
        QCOMPARE(st.DS[3], 99);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(app->form1->EditPC->text(), QStringLiteral("00000010"));
        QCOMPARE(app->form1->MemCells[16]->text(), QStringLiteral("8E")); // LOAD UDR0, ZERO
        QVERIFY(src->Errors->count() == 0);
        QVERIFY(src->Status->text().startsWith(QStringLiteral("Готово")));

        // The listing shows the program, PC's row highlighted, and follows a Run.
        QVERIFY(lst->View->rowText(lst->View->rowOf(16))
                    .endsWith(QStringLiteral("LOAD UDR0, ZERO, 0x2C")));
        QVERIFY(rowHighlighted(16));
        QVERIFY(!rowHighlighted(kHaltAddress));
        QTest::keyClick(app->form1.get(), Qt::Key_F9);
        QCOMPARE(app->state.DS[0], 42);
        QCOMPARE(app->state.PC, static_cast<int32_t>(kHaltAddress)); // stopped by the mark
        QTRY_VERIFY(rowHighlighted(kHaltAddress));
        QVERIFY(!rowHighlighted(16));

        // New empties memory (the assembled program counts as unsaved work,
        // so New asks first); the listing follows.
        int asked = 0;
        app->form1->askSaveChanges = [&] {
            ++asked;
            return int(QMessageBox::Discard);
        };
        QTest::keyClick(app->form1.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(asked, 1);
        QVERIFY(lst->View->rowText(4).endsWith(QStringLiteral("00 00 00 00  CALL 0x0")));
        QVERIFY(rowHighlighted(0));
    }

    // The map of the assembled program lives as long as memory holds what it
    // laid down: a run keeps it, a byte typed by hand drops its instruction,
    // New drops it all.
    void sourceMapFollowsMemory() {
        typeProgram(QString::fromUtf8(kProgram));
        pressAssemble();
        const kovar::SourceMap& map = app->form1->link().sourceMap();
        QCOMPARE(map.LineAt(16), 3);
        QCOMPARE(map.LineAt(44), 11);
        QTest::keyClick(app->form1.get(), Qt::Key_F9);
        QCOMPARE(map.LineAt(kHaltAddress), 10);
        QSignalSpy changed(&app->form1->link(), &MachineLink::sourceMapChanged);
        app->form1->MemCells[21]->setText(QStringLiteral("00"));
        app->form1->RAMExit(21);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(map.LineAt(20), 0);
        QCOMPARE(map.LineAt(16), 3);
        app->form1->askSaveChanges = [] { return int(QMessageBox::Discard); };
        QTest::keyClick(app->form1.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(changed.count(), 2);
        QVERIFY(map.empty());
    }

    // The line of the instruction at PC is underlaid after each command and
    // after a PC typed by hand; none while PC is off the program's instructions.
    void runningLineFollowsPC() {
        typeProgram(QString::fromUtf8(kProgram));
        pressAssemble();
        QCOMPARE(underlaidLines(), QList<int>{3});
        TForm1* w = app->form1.get();
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            int line;
        } commands[] = {
            {Qt::Key_F7, {}, 4},
            {Qt::Key_F7, {}, 5},
            {Qt::Key_F7, Qt::ShiftModifier, 4},  // step back
            {Qt::Key_F9, {}, 10},                // stopped by the mark on halt
            {Qt::Key_R, Qt::ControlModifier, 3}, // restart
        };
        for (const auto& c : commands) {
            QTest::keyClick(w, c.key, c.modifiers);
            QCOMPARE(src->Editor->runningLine(), c.line);
            QCOMPARE(underlaidLines(), QList<int>{c.line});
        }
        const std::pair<const char*, int> typed[] = {
            {"0000002C", 0}, {"00000100", 0}, {"0000001C", 6}}; // data, outside, loop
        QVERIFY(kovar::test::Activate(w));
        for (const auto& [pc, line] : typed) {
            w->EditPC->setFocus();
            w->EditPC->selectAll();
            QTest::keyClicks(w->EditPC, QString::fromLatin1(pc));
            QTest::keyClick(w->EditPC, Qt::Key_Tab); // leaving the field stores it
            QCOMPARE(src->Editor->runningLine(), line);
            QCOMPARE(underlaidLines(), line == 0 ? QList<int>{} : QList<int>{line});
        }
    }

    // Marks set in the margin show in the memory view and the other way
    // round; a mark is no edit of the program: step back and restart stay,
    // and restart keeps the marks.
    void breakpointsInTheMargin() {
        typeProgram(QString::fromUtf8(kProgram));
        pressAssemble();
        TForm1* w = app->form1.get();
        CodeEditor* e = src->Editor;
        const auto& marks = app->state.BreakpointMarks;
        const QColor markColour = kovar::ui::ThemeOf(w).mark;
        const auto labelColour = [w](int address) {
            return w->MemLabels[address - w->MemBase()]->palette().color(QPalette::WindowText);
        };
        w->GoAdress(16);
        QVERIFY(e->lineMarked(10)); // .break on halt
        clickGutter(7);
        QCOMPARE(marks[32], uint8_t{1});
        QVERIFY(e->lineMarked(7));
        QCOMPARE(labelColour(32), markColour);
        QTest::mouseDClick(w->MemLabels[20 - w->MemBase()], Qt::LeftButton);
        QVERIFY(e->lineMarked(4));
        // A comment and a data line have no instruction to mark.
        const auto before = marks;
        for (int line : {1, 11}) {
            clickGutter(line);
            QCOMPARE(marks, before);
            QVERIFY(src->Status->text().contains(QStringLiteral("нет команды")));
        }
        e->goTo(7, 1);
        QTest::keyClick(e, Qt::Key_F5);
        QCOMPARE(marks[32], uint8_t{0});
        QVERIFY(!e->lineMarked(7));
        QVERIFY(labelColour(32) != markColour);

        QTest::keyClick(w, Qt::Key_F7);
        QTest::keyClick(w, Qt::Key_F7);
        clickGutter(5);
        QVERIFY(w->hasUnsavedChanges());
        QTest::keyClick(w, Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(app->state.PC, 20);
        QTest::keyClick(w, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(app->state.PC, 16);
        QCOMPARE(marks[24], uint8_t{1});
        QTest::keyClick(w, Qt::Key_F9);
        QCOMPARE(app->state.PC, 20); // the mark set in the memory view
        QTest::keyClick(w, Qt::Key_F9, Qt::ShiftModifier);
        QCOMPARE(app->state.PC, 24); // the one set after the first step
    }

    // Assembling over the machine's unsaved work asks first (not over the
    // last assembly's own program); a text that lays down no byte is refused.
    void assembleAsksAndRefusesEmptyText() {
        TForm1* w = app->form1.get();
        QTest::mouseDClick(w->MemLabels[3], Qt::LeftButton); // unsaved work
        app->state.Memory[5] = 0x55;
        const kovar::MachineState before = app->state;
        int asked = 0;
        int answer = QMessageBox::Cancel;
        w->askSaveChanges = [&] {
            ++asked;
            return answer;
        };
        typeProgram(QStringLiteral("; nothing\n.org 10\nhere:\n.break here"));
        pressAssemble();
        const QString refused = QStringLiteral(
            "В тексте нет ни одной команды и ни одного байта данных: память не изменена.");
        QCOMPARE(src->Status->text(), refused);
        QCOMPARE(src->Errors->count(), 1);
        QCOMPARE(src->Errors->item(0)->text(), refused);
        QCOMPARE(asked, 0);
        typeProgram(QString::fromUtf8(kProgram));
        pressAssemble();
        QCOMPARE(asked, 1);
        QVERIFY(app->state == before);
        answer = QMessageBox::Discard;
        pressAssemble();
        QCOMPARE(asked, 2);
        QCOMPARE(app->state.PC, 16);
        QCOMPARE(src->Errors->count(), 0);
        // A machine holding just the assembled program (and what running it
        // did) is assembled over without a question; a change by hand asks.
        QTest::keyClick(w, Qt::Key_F9);
        pressAssemble();
        QCOMPARE(asked, 2);
        QTest::mouseDClick(w->MemLabels[3], Qt::LeftButton);
        pressAssemble();
        QCOMPARE(asked, 3);
    }

    void errorsChangeNothingAndLeadToTheirLine() {
        app->state.Memory[5] = 0x55;
        const kovar::MachineState before = app->state;
        QSignalSpy edited(app->form1.get(), &TForm1::edited);
        typeProgram(QStringLiteral("halt\n; fine\n  ALU TOX, SOS, a\nCALL nowhere"));
        pressAssemble();
        QVERIFY(app->state == before);
        QCOMPARE(edited.count(), 0);
        QCOMPARE(src->Errors->count(), 2);
        QVERIFY(src->Errors->item(0)->text().startsWith(
            QStringLiteral("строка 3, столбец 7: неизвестный регистр 'TOX'")));
        // The long message (every register name) wraps within the list's width.
        const QRect first = src->Errors->visualItemRect(src->Errors->item(0));
        QVERIFY(first.right() <= src->Errors->viewport()->width());
        QVERIFY(first.height() >= 2 * src->Errors->fontMetrics().lineSpacing());
        QVERIFY(src->Status->text().contains(QStringLiteral("2")));

        QTest::mouseClick(src->Errors->viewport(), Qt::LeftButton, {},
                          src->Errors->visualItemRect(src->Errors->item(0)).center());
        QTRY_VERIFY(src->Editor->hasFocus());
        QCOMPARE(src->Editor->textCursor().blockNumber(), 2);
        QCOMPARE(src->Editor->textCursor().positionInBlock(), 6);
        QTest::mouseClick(src->Errors->viewport(), Qt::LeftButton, {},
                          src->Errors->visualItemRect(src->Errors->item(1)).center());
        QCOMPARE(src->Editor->textCursor().blockNumber(), 3);

        // Each rejected line has a marker telling its message and the word
        // underlined; editing the line takes its marker away.
        CodeEditor* e = src->Editor;
        QVERIFY(e->errorOfLine(3).startsWith(QStringLiteral("неизвестный регистр 'TOX'")));
        QVERIFY(!e->errorOfLine(4).isEmpty());
        QVERIFY(e->errorOfLine(1).isEmpty() && e->errorOfLine(2).isEmpty());
        QHelpEvent hover(QEvent::ToolTip, e->gutterLineRect(3).center(),
                         e->gutter()->mapToGlobal(e->gutterLineRect(3).center()));
        QApplication::sendEvent(e->gutter(), &hover);
        QTRY_COMPARE(QToolTip::text(), e->errorOfLine(3));
        QStringList underlined;
        for (const QTextEdit::ExtraSelection& s : e->extraSelections())
            if (s.format.underlineStyle() == QTextCharFormat::WaveUnderline)
                underlined << s.cursor.selectedText();
        QCOMPARE(underlined, (QStringList{QStringLiteral("TOX"), QStringLiteral("nowhere")}));
        e->goTo(3, 1);
        QTest::keyClick(e, Qt::Key_Return); // the line moves down unchanged: its marker follows
        QVERIFY(!e->errorOfLine(4).isEmpty() && e->errorOfLine(3).isEmpty());
        QTest::keyClick(e, Qt::Key_End);
        QTest::keyClick(e, Qt::Key_Space);
        QVERIFY(e->errorOfLine(4).isEmpty());
        QVERIFY(!e->errorOfLine(5).isEmpty());
    }

    void listingRowsToggleBreakpointsAndFollowPCWhenShown() {
        QSignalSpy edited(app->form1.get(), &TForm1::edited);
        ListingView* v = lst->View;
        const QRect third(0, 2 * v->rowHeight(), 50, 4);
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(app->state.BreakpointMarks[8], uint8_t{1});
        QCOMPARE(edited.count(), 1);
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(app->state.BreakpointMarks[8], uint8_t{0});
        QCOMPARE(edited.count(), 2);

        // A chosen start; a program far down assembled while the listing is
        // hidden is scrolled into view when it is shown again.
        lst->EditStart->setFocus();
        lst->EditStart->selectAll();
        QTest::keyClicks(lst->EditStart, QStringLiteral("1f"));
        QTest::keyClick(lst->EditStart, Qt::Key_Return);
        QCOMPARE(lst->EditStart->text(), QStringLiteral("0000001F"));
        QVERIFY(v->rowText(0).startsWith(QStringLiteral("0000001F")));
        lst->hide();
        QVERIFY(kovar::test::Activate(src));
        typeProgram(QStringLiteral(".org 803\nstart: halt"));
        pressAssemble();
        QCOMPARE(app->state.PC, 803);
        QVERIFY(kovar::test::Activate(lst));
        QTRY_VERIFY(rowHighlighted(803));
    }

    // With the source map the listing reads like the source: labels on rows
    // of their own, data as the directives that laid it down, jumps to
    // labels by name; without it (after New) every row is a word again.
    void listingFollowsTheSource() {
        typeProgram(QStringLiteral(R"(        .org 8
start:  LOAD  TOS, ZERO, n, pushds
loop:   ALU   TOS, ZERO, a-~c, cond=nz, setfl
        BRANCH_C loop
        CALL  sub
        halt
sub:    ALU   TOS, TOS, a+b+c, ret
n:      .data 6
w:      .word -6
bytes:  .byte 1, -2, 3, 4, 5
gap:    .space 6
one:
two:    .byte -128
)"));
        pressAssemble();
        ListingView* v = lst->View;
        const QStringList rows = {
            "00000000  00 00 00 00  CALL 0x0", // before .org: a word as ever
            "00000004  00 00 00 00  CALL 0x0",
            "start:",
            "00000008  8E 00 00 20  LOAD TOS, ZERO, 0x20, pushds",
            "loop:",
            "0000000C  6E 08 24 CB  ALU TOS, ZERO, a-~c, cond=nz, setfl",
            "00000010  40 00 00 0C  BRANCH_C loop",
            "00000014  00 00 00 1C  CALL sub",
            "00000018  FF FF FF FF  halt",
            "sub:",
            "0000001C  70 08 00 4F  ALU TOS, TOS, a+b+c, ret",
            "n:",
            "00000020  06 00 00 00  .data 6",
            "w:",
            "00000024  FF FF FF FA  .word 4294967290",
            "bytes:",
            "00000028  01 FE 03 04  .byte 1, 254, 3, 4",
            "0000002C  05           .byte 5",
            "gap:",
            "0000002D  00 00 00     .space", // to the next multiple of 4
            "00000030  00 00 00     .space",
            "one:",
            "two:",
            "00000033  80           .byte 128",
            "00000034  00 00 00 00  CALL 0x0",
        };
        for (int r = 0; r < rows.size(); ++r)
            QCOMPARE(v->rowText(r), rows[r]);
        QCOMPARE(v->rowCount(), rows.size() + (1000 - 0x34) / 4);

        // Signed values on the main window's switch "Десятичные".
        app->form1->NDecimal->trigger();
        QCOMPARE(v->rowText(14), QStringLiteral("00000024  FF FF FF FA  .word -6"));
        QCOMPARE(v->rowText(16), QStringLiteral("00000028  01 FE 03 04  .byte 1, -2, 3, 4"));
        QCOMPARE(v->rowText(23), QStringLiteral("00000033  80           .byte -128"));
        app->form1->NDecimal->trigger();
        QCOMPARE(v->rowText(23), QStringLiteral("00000033  80           .byte 128"));

        // A start inside an item: its rest is shown as bytes, up to the next item.
        lst->EditStart->setText(QStringLiteral("1e"));
        lst->EditStartExit();
        QCOMPARE(v->rowText(0), QStringLiteral("0000001E  00 4F        .byte 0x00, 0x4F"));
        QCOMPARE(v->rowText(1), QStringLiteral("n:"));
        lst->EditStart->setText(QStringLiteral("0"));
        lst->EditStartExit();

        // PC's row is the instruction's, not its label's; a double-click on
        // a label marks its address.
        QVERIFY(rowPaintedHighlighted(3));
        QVERIFY(!rowPaintedHighlighted(2));
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {},
                           QPoint(50, 4 * v->rowHeight() + v->rowHeight() / 2));
        QCOMPARE(app->state.BreakpointMarks[12], uint8_t{1});

        // A byte typed by hand drops its item: the call is a plain word.
        app->form1->MemCells[0x17]->setText(QStringLiteral("08"));
        app->form1->RAMExit(0x17);
        QCOMPARE(v->rowText(7), QStringLiteral("00000014  00 00 00 08  CALL 0x8"));
        QCOMPARE(v->rowText(9), QStringLiteral("sub:"));

        app->form1->askSaveChanges = [] { return int(QMessageBox::Discard); };
        QTest::keyClick(app->form1.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(v->rowCount(), 251);
        QCOMPARE(v->rowText(2), QStringLiteral("00000008  00 00 00 00  CALL 0x0"));
        QCOMPARE(v->rowOf(1000), 250);
    }

    void openSaveAndUnsavedText() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const auto file = [&tmp](const char* name) {
            return tmp.filePath(QString::fromUtf8(name));
        };
        const QString first = file("first.kasm");
        int asked = 0;
        int answer = QMessageBox::Cancel;
        QString openName = first;
        src->askOpenFileName = [&] { return openName; };
        src->askSaveFileName = [&] { return first; };
        src->askSaveChanges = [&] {
            ++asked;
            return answer;
        };
        QVERIFY(src->maybeSaveSource()); // nothing typed yet
        typeProgram(QStringLiteral("halt"));
        QVERIFY(src->isWindowModified());
        QTest::keyClick(src->Editor, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(QString::fromStdString(ReadText(first.toStdString())).trimmed(),
                 QStringLiteral("halt"));
        QVERIFY(!src->isWindowModified());
        QVERIFY(src->windowTitle().contains(QStringLiteral("first.kasm")));

        // Changed text: Cancel keeps it, Discard lets Open replace it.
        std::ofstream(file("second.kasm").toStdString()) << "LAL\n";
        openName = file("second.kasm");
        QTest::keyClicks(src->Editor, QStringLiteral("LAH"));
        QTest::keyClick(src->Editor, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);
        QVERIFY(src->Editor->toPlainText().contains(QStringLiteral("LAH")));
        QVERIFY(!src->maybeSaveSource());
        answer = QMessageBox::Discard;
        QTest::keyClick(src->Editor, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(src->Editor->toPlainText(), QStringLiteral("LAL\n"));
        QCOMPARE(src->fileName(), openName);

        // Save answered: a save that fails is reported and keeps the text.
        QTest::keyClicks(src->Editor, QStringLiteral("x"));
        answer = QMessageBox::Save;
        const QString bad = file("no/such/folder/p.kasm");
        src->askSaveFileName = [&] { return bad; };
        QVERIFY(src->SaveAsClick() == false);
        QCOMPARE(errors.size(), 1); // the name, then the reason on a line of its own
        QCOMPARE(errors.front().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Ошибка записи файла: ") + bad);
        QVERIFY(!errors.front().section(QLatin1Char('\n'), 1).isEmpty());
        QVERIFY(src->isWindowModified());
        openName = file("missing.kasm");
        src->askSaveFileName = [&] { return first; };
        QTest::keyClick(src->Editor, Qt::Key_O, Qt::ControlModifier); // saves, then fails to open
        QCOMPARE(ReadText(file("second.kasm").toStdString()), std::string("xLAL\n"));
        QCOMPARE(errors.last().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Ошибка чтения файла: ") + openName);
        QVERIFY(src->Editor->toPlainText().startsWith(QStringLiteral("xLAL")));

        // Closing the window only hides it; the text stays.
        src->close();
        QVERIFY(!src->isVisible());
        QVERIFY(src->Editor->toPlainText().startsWith(QStringLiteral("xLAL")));
    }

    // "Новый" and the examples give untitled texts that Save asks a name
    // for; the question about unsaved text names the text it is about.
    void newTextAndExamples() {
        QTemporaryDir tmp;
        const auto asked = [this] { return AskedAbout(src->askSaveChanges); };
        QCOMPARE(asked(), QStringLiteral("Текст программы (без имени) изменён."));
        const QStringList examples =
            QDir(QStringLiteral(KOVAR_EXAMPLES)).entryList({QStringLiteral("*.kasm")}, QDir::Files);
        QStringList listed;
        for (QAction* a : app->help->Examples->actions())
            listed << a->text();
        QCOMPARE(listed, examples);

        // An example replaces the text (once the unsaved text is asked
        // about) as an untitled text; Save offers its name elsewhere.
        const std::string original = ReadText(KOVAR_EXAMPLES "/sum.kasm");
        typeProgram(QStringLiteral("halt"));
        Answer<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); });
        app->help->Examples->actions().at(examples.indexOf("sum.kasm"))->trigger();
        QCOMPARE(src->Editor->toPlainText().toStdString(), original);
        QCOMPARE(asked(), QStringLiteral("Текст программы (пример sum.kasm) изменён."));
        QTest::keyClicks(src->Editor, QStringLiteral("; mine"));
        QString folder, offered;
        ChooseIn(tmp.filePath(QStringLiteral("mine.kasm")), &folder, &offered);
        QVERIFY(src->SaveClick());
        QCOMPARE(offered, QStringLiteral("sum.kasm"));
        QCOMPARE(ReadText(KOVAR_EXAMPLES "/sum.kasm"), original);
        QCOMPARE(asked(), QStringLiteral("Текст программы mine.kasm изменён."));

        // "Новый": an empty untitled text, after the question.
        QTest::keyClicks(src->Editor, QStringLiteral("x"));
        Answer<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); });
        src->NewAction->trigger();
        QVERIFY(src->Editor->toPlainText().isEmpty() && !src->isWindowModified());
        QCOMPARE(src->fileName(), QString());
        typeProgram(QStringLiteral("halt"));
        int named = 0;
        src->askSaveFileName = [&named] {
            ++named;
            return QString(); // cancelled
        };
        QVERIFY(!src->SaveClick()); // the name is asked for, and not given
        QCOMPARE(named, 1);
    }

    // The dialogs of the program text and of the memory image each open
    // in the folder they used last, also after the program starts again.
    void dialogsRememberTheirFolder() {
        QTemporaryDir texts, images;
        const QString text = texts.filePath(QStringLiteral("p.kasm"));
        const QString image = images.filePath(QStringLiteral("m.emu"));
        std::ofstream(text.toStdString()) << "halt\n";
        QVERIFY(kovar::SaveDmp(app->state, image.toStdString()));
        QString folder;
        ChooseIn(text, &folder);
        QCOMPARE(src->askOpenFileName(), text);
        ChooseIn(image, &folder);
        QCOMPARE(app->form1->askOpenFileName(), image);

        app.reset(); // a new start
        app = std::make_unique<KovarApp>();
        ChooseIn(texts.filePath(QStringLiteral("new.kasm")), &folder);
        app->asmWindow->askSaveFileName();
        QCOMPARE(folder, QFileInfo(texts.path()).canonicalFilePath());
        ChooseIn(images.filePath(QStringLiteral("new.emu")), &folder);
        app->form1->askSaveFileName();
        QCOMPARE(folder, QFileInfo(images.path()).canonicalFilePath());
    }

    // "Справка" follows the other menus; the guides open in the browser as
    // web pages whose links and pictures lead to what is there.
    void helpMenu() {
        const QList<QAction*> bar = app->form1->menuBar()->actions();
        QCOMPARE(bar[0]->text() + bar[1]->text() + bar[2]->text() + bar.last()->text(),
                 QStringLiteral("ФайлПроектИнструментыСправка"));
        QList<QUrl> opened;
        app->help->openUrl = [&opened](const QUrl& url) {
            opened << url;
            return true;
        };
        QTest::keyClick(src->Editor, Qt::Key_F1); // from any window
        app->help->NAsmGuide->trigger();
        app->help->NExamplesFolder->trigger();
        QCOMPARE(opened.size(), 3);
        QVERIFY(QFileInfo::exists(opened[2].toLocalFile() + QStringLiteral("/sum.kasm")));
        int local = 0;
        for (const QUrl& page : opened.mid(0, 2)) {
            QFile file(page.toLocalFile());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(file.readAll());
            QVERIFY(html.contains(QStringLiteral("KOVAR 3 ")));
            static const QRegularExpression target(QStringLiteral("(?:href|src)=\"([^\"]+)\""));
            for (const auto& m : target.globalMatch(html)) {
                const QUrl url = page.resolved(QUrl(m.captured(1)));
                if (!url.isLocalFile())
                    continue;
                ++local; // a file that is there, with the heading named
                QFile linked(url.toLocalFile());
                const QByteArray anchor = "name=\"" + url.fragment().toUtf8() + '"';
                QVERIFY2(linked.open(QIODevice::ReadOnly) &&
                             (!url.hasFragment() || linked.readAll().contains(anchor)),
                         qPrintable(url.toString()));
            }
        }
        QVERIFY(local > 0);
        QVERIFY(errors.isEmpty());
        app->help->openUrl = [](const QUrl&) { return false; }; // no browser: the user is told
        app->help->NGuide->trigger();
        QCOMPARE(errors.size(), 1);

        QString about;
        Answer<QMessageBox>([&about](QMessageBox* box) {
            about = box->text();
            box->accept();
        });
        app->help->NAbout->trigger();
        QVERIFY2(about.contains(QStringLiteral(KOVAR_VERSION)) && about.contains("LGPL") &&
                     about.contains(QString::fromLatin1(qVersion())),
                 qPrintable(about));
    }
};

QTEST_MAIN(AsmWindowsTest)
#include "gui_asm.moc"
