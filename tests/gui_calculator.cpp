// The calculator window, driven as a user drives it: an expression typed into
// the infix field and converted when the focus leaves it, values typed into
// the variable fields, a click on the equals button, the menu key Ctrl+K.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "app.h"
#include "gui_support.h"
#include "mem1.h"
#include "pic.h"
#include "rpncalc_unit.h"
#include "show_error.h"
#include "ui_support.h"

namespace {

const QString kDivision = QStringLiteral("Floating point division by zero");
const QString kInvalid = QStringLiteral("Invalid floating point operation");
const QString kOverflow = QStringLiteral("Floating point overflow");

} // namespace

class CalculatorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<KovarApp> app_;
    TRPNcalc* calc_ = nullptr;
    std::function<void(const QString&)> realFaultBox_;
    kovar::ErrorHandler previousHandler_;
    QStringList errors_; // ShowError
    QStringList faults_; // the fault box

    // Replaces the field's text by typing, as a user does.
    static void retype(QLineEdit* edit, const QString& text) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    // Clicks into the infix field, types the expression and leaves with Tab.
    void convert(const QString& infix) {
        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        QVERIFY(calc_->EInfix->hasFocus());
        retype(calc_->EInfix, infix);
        QTest::keyClick(calc_->EInfix, Qt::Key_Tab);
        QVERIFY(calc_->EPostfix->hasFocus());
    }

    // Clicks into A: and types the four values, moving on with Tab.
    void typeVariables(const QStringList& values) {
        QLineEdit* const fields[] = {calc_->EA, calc_->EB, calc_->EC, calc_->ED};
        QTest::mouseClick(calc_->EA, Qt::LeftButton);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(fields[i]->hasFocus());
            retype(fields[i], values.value(i, QStringLiteral("0.0")));
            QTest::keyClick(fields[i], Qt::Key_Tab);
        }
        QVERIFY(calc_->Answer->hasFocus());
    }

    void pressEquals() { QTest::mouseClick(calc_->SpeedButton1, Qt::LeftButton); }

    // Converts, types the values and presses the button in one go.
    void evaluate(const QString& infix, const QStringList& values) {
        convert(infix);
        typeVariables(values);
        pressEquals();
    }

    // Presses Ctrl+K where the focus is, as the user would from any window.
    static void pressCtrlK() {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key_K, Qt::ControlModifier);
    }

    static void activate(QWidget* window) { QVERIFY(kovar::test::Activate(window)); }

private slots:
    void initTestCase() {
        kovar::test::QuietRaiseWarnings();
        app_ = std::make_unique<KovarApp>();
        calc_ = app_->rpncalc.get();
        QVERIFY(calc_);
        realFaultBox_ = calc_->showFault;
        QVERIFY(kovar::test::StartPastSplash(*app_));
    }

    void cleanupTestCase() { app_.reset(); }

    void init() {
        errors_.clear();
        faults_.clear();
        previousHandler_ =
            kovar::SetErrorHandler([this](std::string_view m) { errors_ << kovar::ui::Q(m); });
        calc_->showFault = [this](const QString& m) { faults_ << m; };
        kovar::ui::ShowToFront(calc_);
        QVERIFY(QTest::qWaitForWindowActive(calc_));
    }

    void cleanup() {
        kovar::SetErrorHandler(previousHandler_);
        calc_->showFault = realFaultBox_;
    }

    // Runs first: the list is empty until the first conversion, so the
    // button clears whatever the answer field holds.
    void buttonBeforeAnyConversion() {
        QTest::mouseClick(calc_->Answer, Qt::LeftButton);
        retype(calc_->Answer, QStringLiteral("typed"));
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QString());
        QVERIFY(errors_.isEmpty() && faults_.isEmpty());
    }

    void startsAsCreated() {
        TRPNcalc fresh;
        QCOMPARE(fresh.windowTitle(), QStringLiteral("RPN-калькулятор"));
        QCOMPARE(fresh.size(), QSize(421, 105));
        QCOMPARE(fresh.minimumSize(), fresh.maximumSize());
        QCOMPARE(fresh.pos(), QPoint(337, 118));
        QVERIFY(!(fresh.windowFlags() & Qt::WindowMaximizeButtonHint));

        const struct {
            QLabel* label;
            const char* text;
            QPoint pos;
            int fieldLeft; // the field the label names starts here
        } labels[] = {{fresh.Label5, "Инфиксная запись", {1, 16}, 113},
                      {fresh.Label6, "Постфиксная запись", {1, 48}, 113},
                      {fresh.Label7, "Результат", {6, 80}, 113},
                      {fresh.Label1, "A:", {343, 12}, 361},
                      {fresh.Label2, "B:", {343, 36}, 361},
                      {fresh.Label3, "C:", {343, 60}, 361},
                      {fresh.Label4, "D:", {343, 84}, 361}};
        for (const auto& l : labels) {
            QCOMPARE(l.label->text(), QString::fromUtf8(l.text));
            QCOMPARE(l.label->pos(), l.pos);
            // Nothing clipped, nothing under the field.
            QVERIFY(QRect(QPoint(0, 0), fresh.size()).contains(l.label->geometry()));
            QVERIFY2(l.label->geometry().right() < l.fieldLeft, l.text);
        }

        const struct {
            QLineEdit* field;
            QRect geometry;
            const char* text;
        } fields[] = {
            {fresh.EInfix, {113, 16, 177, 21}, ""}, {fresh.EPostfix, {113, 48, 177, 21}, ""},
            {fresh.EA, {361, 8, 57, 21}, "0.0"},    {fresh.EB, {361, 32, 57, 21}, "0.0"},
            {fresh.EC, {361, 56, 57, 21}, "0.0"},   {fresh.ED, {361, 80, 57, 21}, "0.0"},
            {fresh.Answer, {113, 80, 177, 21}, ""}};
        for (const auto& f : fields) {
            QCOMPARE(f.field->geometry(), f.geometry);
            QCOMPARE(f.field->text(), QString::fromLatin1(f.text));
        }
        // No length limit: a long text is kept whole.
        const QString longText(40000, u'1');
        fresh.EA->setText(longText);
        QCOMPARE(fresh.EA->text(), longText);

        QCOMPARE(fresh.SpeedButton1->geometry(), QRect(296, 47, 23, 23));
        QCOMPARE(fresh.SpeedButton1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(fresh.SpeedButton1->iconSize(), QSize(18, 18));

        // The picture is an equals sign: down its middle column exactly two
        // dark bars, each reaching across at least half the picture.
        const QImage glyph = fresh.SpeedButton1->icon().pixmap(QSize(18, 18)).toImage();
        QCOMPARE(glyph.size(), QSize(18, 18));
        const auto dark = [&glyph](int x, int y) {
            const QColor c = glyph.pixelColor(x, y);
            return c.alpha() > 128 && c.lightness() < 100;
        };
        int bars = 0;
        for (int y = 0; y < 18; ++y) {
            if (!dark(9, y))
                continue;
            bars += y == 0 || !dark(9, y - 1);
            int width = 0;
            for (int x = 0; x < 18; ++x)
                width += dark(x, y);
            QVERIFY(width >= 9);
        }
        QCOMPARE(bars, 2);
    }

    // The fields in the order of the window, the button skipped.
    void tabOrder() {
        QLineEdit* const order[] = {calc_->EInfix, calc_->EPostfix, calc_->EA,    calc_->EB,
                                    calc_->EC,     calc_->ED,       calc_->Answer};
        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        for (int i = 0; i < 7; ++i) {
            QVERIFY(order[i]->hasFocus());
            QTest::keyClick(order[i], Qt::Key_Tab);
        }
        QVERIFY(calc_->EInfix->hasFocus());
    }

    // The postfix field shows " A B -" from a previous conversion; the user
    // types into the infix field and presses Tab.
    void leavingInfix_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("postfix");
        QTest::addColumn<QStringList>("errors");
        const QStringList none;
        const QStringList error{QStringLiteral("Error")};
        QTest::newRow("precedence") << "A+B*C"
                                    << " A B C * +" << none;
        QTest::newRow("parentheses") << "(A+B)*(C-D)"
                                     << " A B + C D - *" << none;
        QTest::newRow("empty keeps previous") << ""
                                              << " A B -" << none;
        QTest::newRow("blanks keep previous") << "   "
                                              << " A B -" << none;
        QTest::newRow("trailing space") << "A+B "
                                        << " A B +" << error;
        QTest::newRow("comma") << "A*2,5"
                               << " A 2 *" << error;
    }
    void leavingInfix() {
        QFETCH(QString, typed);
        QFETCH(QString, postfix);
        QFETCH(QStringList, errors);
        convert(QStringLiteral("A-B"));
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" A B -"));

        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        retype(calc_->EInfix, typed);
        // Nothing happens until the focus leaves: not on Return either.
        QTest::keyClick(calc_->EInfix, Qt::Key_Return);
        QVERIFY(calc_->EInfix->hasFocus());
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" A B -"));

        QTest::keyClick(calc_->EInfix, Qt::Key_Tab);
        QCOMPARE(calc_->EPostfix->text(), postfix);
        QCOMPARE(calc_->EInfix->text(), typed);
        QCOMPARE(errors_, errors);
    }

    // Each field feeds its own variable, as typed.
    void evaluating_data() {
        QTest::addColumn<QString>("infix");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("answer");
        QTest::newRow("A+B*C") << "A+B*C" << QStringList{"1", "2", "3"} << "   7.00000";
        QTest::newRow("D-C") << "D-C" << QStringList{"0", "0", "1", "10"} << "   9.00000";
        QTest::newRow("lower case") << "a/b" << QStringList{"1", "4"} << "   0.25000";
        QTest::newRow("spaces and signs kept")
            << "A*B" << QStringList{" 2.5", "-4"} << " -10.00000";
        QTest::newRow("A alone shows its text") << "A" << QStringList{"0.0"} << "0.0";
        QTest::newRow("cut to 10") << "A" << QStringList{"3.14159265358979"} << "3.14159265";
        QTest::newRow("A holding b") << "A" << QStringList{"b", "5"} << "5";
    }
    void evaluating() {
        QFETCH(QString, infix);
        QFETCH(QStringList, values);
        QFETCH(QString, answer);
        evaluate(infix, values);
        QCOMPARE(calc_->Answer->text(), answer);
        QVERIFY(errors_.isEmpty() && faults_.isEmpty());
    }

    // A fault ends the evaluation: the box, and the answer as it was. The
    // window goes on working.
    void faults_data() {
        QTest::addColumn<QString>("infix");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("message");
        QTest::newRow("x/0") << "A/B" << QStringList{"1", "0"} << kDivision;
        QTest::newRow("0/0 initial fields") << "A/B" << QStringList{"0.0", "0.0"} << kInvalid;
        QTest::newRow("1e400") << "A+B" << QStringList{"1e400", "1"} << kOverflow;
    }
    void faults() {
        QFETCH(QString, infix);
        QFETCH(QStringList, values);
        QFETCH(QString, message);
        evaluate(QStringLiteral("A+B"), {"1", "2"});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   3.00000"));

        evaluate(infix, values);
        QCOMPARE(faults_, QStringList{message});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   3.00000"));

        evaluate(QStringLiteral("A*B"), {"2", "3"});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   6.00000"));
        QCOMPARE(faults_.size(), 1);
        QVERIFY(errors_.isEmpty());
    }

    // Without a replacement the fault is a real critical box over the window.
    void faultInAMessageBox() {
        calc_->showFault = realFaultBox_;
        evaluate(QStringLiteral("A"), {"12"});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("12"));
        convert(QStringLiteral("A/B"));
        typeVariables({"1", "0"});

        QString seenText;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        QWidget* seenParent = nullptr;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            seenText = box->text();
            seenIcon = box->icon();
            seenParent = box->parentWidget();
            box->accept();
        });
        poll.start();
        pressEquals();
        poll.stop();

        QCOMPARE(seenText, kDivision);
        QCOMPARE(seenIcon, QMessageBox::Critical);
        QCOMPARE(seenParent, static_cast<QWidget*>(calc_));
        QCOMPARE(calc_->Answer->text(), QStringLiteral("12"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The evaluation consumes the list: a second press shows the same answer
    // whatever the fields hold now, until the expression is converted again.
    void secondPressSameAnswer() {
        evaluate(QStringLiteral("A-B"), {"10", "4"});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   6.00000"));
        typeVariables({"100", "1"});
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   6.00000"));
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   6.00000"));

        // Leaving the infix field again, unchanged, restores the names.
        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        QTest::keyClick(calc_->EInfix, Qt::Key_Tab);
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QStringLiteral("  99.00000"));
    }

    // The button never takes the focus, so a new expression typed into the
    // infix field is not converted by pressing it.
    void buttonKeepsTheFocus() {
        convert(QStringLiteral("A+B"));
        typeVariables({"1", "2"});
        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        retype(calc_->EInfix, QStringLiteral("A*B*10"));
        pressEquals();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(calc_->EInfix));
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" A B +"));
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   3.00000"));

        QTest::keyClick(calc_->EInfix, Qt::Key_Tab);
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" A B * 10 *"));
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QStringLiteral("  20.00000"));
    }

    // Closing only hides the window; Ctrl+K, the menu entry, shows it again
    // from every window with its texts and its list as they were.
    void closeAndCtrlK() {
        evaluate(QStringLiteral("(A+B)*C"), {"1", "2", "3"});
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   9.00000"));
        convert(QStringLiteral("C-A"));
        typeVariables({"0.5", "7", "2"});

        QPointer<TRPNcalc> guard(calc_);
        QVERIFY(calc_->close());
        QVERIFY(guard);
        QVERIFY(!calc_->isVisible());

        TForm1* main = app_->form1.get();
        activate(main);
        pressCtrlK();
        QTRY_VERIFY(calc_->isActiveWindow());
        QCOMPARE(calc_->EInfix->text(), QStringLiteral("C-A"));
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" C A -"));
        QCOMPARE(calc_->EA->text(), QStringLiteral("0.5"));
        QCOMPARE(calc_->EB->text(), QStringLiteral("7"));
        QCOMPARE(calc_->EC->text(), QStringLiteral("2"));
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   9.00000"));
        pressEquals();
        QCOMPARE(calc_->Answer->text(), QStringLiteral("   1.50000"));

        // From a field of this window: what was typed counts before the
        // command acts, as for every command.
        QTest::mouseClick(calc_->EInfix, Qt::LeftButton);
        retype(calc_->EInfix, QStringLiteral("B-A"));
        pressCtrlK();
        QVERIFY(calc_->isActiveWindow());
        QVERIFY(calc_->EInfix->hasFocus());
        QCOMPARE(calc_->EInfix->text(), QStringLiteral("B-A"));
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" B A -"));
        retype(calc_->EInfix, QStringLiteral("A-B"));

        // The main window in front: Ctrl+K brings the calculator back with
        // the typed text still waiting in the infix field.
        activate(main);
        QVERIFY(!calc_->isActiveWindow());
        pressCtrlK();
        QTRY_VERIFY(calc_->isActiveWindow());
        QTRY_VERIFY(calc_->EInfix->hasFocus());
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" B A -"));
        // Leaving it by a click on another field converts it.
        QTest::mouseClick(calc_->EA, Qt::LeftButton);
        QCOMPARE(calc_->EPostfix->text(), QStringLiteral(" A B -"));
        QVERIFY(errors_.isEmpty() && faults_.isEmpty());
    }
};

QTEST_MAIN(CalculatorTest)
#include "gui_calculator.moc"
