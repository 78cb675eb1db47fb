// The number converter window, driven as a user drives it: text typed into a
// field, the focus moved away with Tab or a click, the menu key Ctrl+C.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

#include "app.h"
#include "convert.h"
#include "gui_support.h"
#include "mem1.h"
#include "pic.h"
#include "show_error.h"
#include "ui_support.h"

namespace {

const QString kDecError = QStringLiteral("Ошибка при вводе десятичного числа");
const QString kHexError = QStringLiteral("Ошибка ввода hex числа");
const QString kBinError = QStringLiteral("Ошибка ввода bin числа");

QString Fault(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

// A number the fields show before a row is typed, so that "unchanged" is
// visible: 77 is 4D.
const QString kDec77 = QStringLiteral("77");
const QString kHex77 = QStringLiteral("0000004D");
const QString kBin77 = QString(24, u'0') + QStringLiteral("01001101");

const QString kOnes32(32, u'1');
const QString kZeros32(32, u'0');
const QString kMin32 = QStringLiteral("1") + QString(31, u'0');
const QString kMax32 = QStringLiteral("0") + QString(31, u'1');

// What the fields showed when a message was reported.
struct Report {
    QString message;
    QString dec, hex, bin;
};

} // namespace

class ConverterTest : public QObject {
    Q_OBJECT

    std::unique_ptr<KovarApp> app_;
    TForm2* form_ = nullptr;
    std::function<void(const QString&)> realFaultBox_;
    kovar::ErrorHandler previousHandler_;
    std::vector<Report> errors_; // ShowError
    std::vector<Report> faults_; // the fault box

    Report snapshot(const QString& message) const {
        return {message, form_->EditDec->text(), form_->EditHex->text(), form_->EditBin->text()};
    }
    QStringList messages(const std::vector<Report>& reports) const {
        QStringList list;
        for (const Report& r : reports)
            list << r.message;
        return list;
    }
    QLineEdit* field(const QString& name) const {
        if (name == QLatin1String("dec"))
            return form_->EditDec;
        if (name == QLatin1String("hex"))
            return form_->EditHex;
        return form_->EditBin;
    }

    // Puts the focus into `edit`, then gives the fields their texts and
    // forgets whatever moving the focus reported.
    void prepare(QLineEdit* edit, const QString& dec, const QString& hex, const QString& bin) {
        edit->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        form_->EditDec->setText(dec);
        form_->EditHex->setText(hex);
        form_->EditBin->setText(bin);
        errors_.clear();
        faults_.clear();
    }

    // Replaces the field's text by typing, as a user does.
    static void retype(QLineEdit* edit, const QString& text) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(edit, char(c.unicode()));
            else // keys beyond ASCII: the key event carries the character
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
        }
    }

    // Presses Ctrl+C where the focus is, as the user would from any window.
    static void pressCtrlC() {
        QWidget* target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
    }

    static void activate(QWidget* window) { QVERIFY(kovar::test::Activate(window)); }

private slots:
    void initTestCase() {
        kovar::test::QuietRaiseWarnings();
        app_ = std::make_unique<KovarApp>();
        form_ = app_->form2.get();
        QVERIFY(form_);
        realFaultBox_ = form_->showFault;
        // The program as the user meets it: the main window up, the splash gone.
        app_->start();
        QVERIFY(QTest::qWaitForWindowExposed(app_->form1.get()));
        QTRY_VERIFY_WITH_TIMEOUT(!app_->splash->isVisible(), 5000);
    }

    void cleanupTestCase() { app_.reset(); }

    void init() {
        previousHandler_ = kovar::SetErrorHandler(
            [this](std::string_view m) { errors_.push_back(snapshot(kovar::ui::Q(m))); });
        form_->showFault = [this](const QString& m) { faults_.push_back(snapshot(m)); };
        kovar::ui::ShowToFront(form_);
        QVERIFY(QTest::qWaitForWindowActive(form_));
    }

    void cleanup() {
        kovar::SetErrorHandler(previousHandler_);
        form_->showFault = realFaultBox_;
    }

    void startsAsCreated() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Hex<->bin<->dec"));
        QCOMPARE(form_->size(), QSize(338, 58));
        QCOMPARE(form_->Label1->text(), QStringLiteral("Dec"));
        QCOMPARE(form_->Label2->text(), QStringLiteral("Hex"));
        QCOMPARE(form_->Label3->text(), QStringLiteral("Bin"));
        QCOMPARE(form_->Label1->pos(), QPoint(11, 10));
        QCOMPARE(form_->Label2->pos(), QPoint(179, 10));
        QCOMPARE(form_->Label3->pos(), QPoint(12, 37));
        QCOMPARE(form_->EditDec->geometry(), QRect(46, 6, 121, 21));
        QCOMPARE(form_->EditHex->geometry(), QRect(214, 6, 121, 21));
        QCOMPARE(form_->EditBin->geometry(), QRect(44, 33, 292, 21));
        // A fresh window: the shared one may already have been typed into.
        TForm2 fresh;
        QCOMPARE(fresh.EditDec->text(), QStringLiteral("0"));
        QCOMPARE(fresh.EditHex->text(), QStringLiteral("0"));
        QCOMPARE(fresh.EditBin->text(), QStringLiteral("0"));
        QCOMPARE(fresh.pos(), QPoint(219, 202));
        // Every label fits the window, and sits left of its field.
        for (QLabel* label : {fresh.Label1, fresh.Label2, fresh.Label3})
            QVERIFY(QRect(QPoint(0, 0), fresh.size()).contains(label->geometry()));
        QVERIFY(fresh.Label1->geometry().right() < fresh.EditDec->x());
        QVERIFY(fresh.Label2->geometry().right() < fresh.EditHex->x());
        QVERIFY(fresh.Label3->geometry().right() < fresh.EditBin->x());
    }

    void tabOrder() {
        prepare(form_->EditDec, kDec77, kHex77, kBin77);
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QVERIFY(form_->EditHex->hasFocus());
        QTest::keyClick(form_->EditHex, Qt::Key_Tab);
        QVERIFY(form_->EditBin->hasFocus());
        QTest::keyClick(form_->EditBin, Qt::Key_Tab);
        QVERIFY(form_->EditDec->hasFocus());
        // The fields agreed on 77 and each handler kept it so.
        QCOMPARE(form_->EditDec->text(), kDec77);
        QCOMPARE(form_->EditHex->text(), QStringLiteral("0000004D"));
        QCOMPARE(form_->EditBin->text(), kBin77);
        QVERIFY(errors_.empty() && faults_.empty());
    }

    void typingStopsAtMaximumLength_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("dec 11") << "dec"
                                << "-21474836489"
                                << "-2147483648";
        QTest::newRow("hex 8") << "hex"
                               << "123456789"
                               << "12345678";
        QTest::newRow("bin 32") << "bin" << (kOnes32 + "0") << kOnes32;
    }
    void typingStopsAtMaximumLength() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QLineEdit* edit = field(name);
        prepare(edit, kDec77, kHex77, kBin77);
        retype(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    // One row: the fields show 77, the user types into one field and
    // presses Tab.
    void leavingAField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("dec");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("bin");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QStringList>("faults");
        const QStringList none;

        QTest::newRow("dec 10") << "dec"
                                << "10"
                                << "10"
                                << "0000000A" << (QString(28, u'0') + "1010") << none << none;
        QTest::newRow("dec 0") << "dec"
                               << "0"
                               << "0"
                               << "00000000" << kZeros32 << none << none;
        QTest::newRow("dec -1") << "dec"
                                << "-1"
                                << "-1"
                                << "FFFFFFFF" << kOnes32 << none << none;
        QTest::newRow("dec min") << "dec"
                                 << "-2147483648"
                                 << "-2147483648"
                                 << "80000000" << kMin32 << none << none;
        QTest::newRow("dec max") << "dec"
                                 << "2147483647"
                                 << "2147483647"
                                 << "7FFFFFFF" << kMax32 << none << none;
        QTest::newRow("dec 305419896") << "dec"
                                       << "305419896"
                                       << "305419896"
                                       << "12345678"
                                       << "00010010001101000101011001111000" << none << none;
        // Leading zeros and a minus zero spell an ordinary number; the
        // decimal field keeps what was typed.
        QTest::newRow("dec 007") << "dec"
                                 << "007"
                                 << "007"
                                 << "00000007" << (QString(29, u'0') + "111") << none << none;
        QTest::newRow("dec -0") << "dec"
                                << "-0"
                                << "-0"
                                << "00000000" << kZeros32 << none << none;
        QTest::newRow("dec -0000000001") << "dec"
                                         << "-0000000001"
                                         << "-0000000001"
                                         << "FFFFFFFF" << kOnes32 << none << none;

        // Digits and minus signs that are no 32-bit integer: the fault box,
        // and no field changed.
        for (const char* text : {"2147483648", "-2147483649", "4294967296", "4294967295",
                                 "99999999999", "", "-", "1-2", "--1", "5-", "-1-"}) {
            const QString t = QString::fromLatin1(text);
            QTest::newRow(qPrintable("dec fault '" + t + "'"))
                << "dec" << t << t << kHex77 << kBin77 << none << QStringList{Fault(t)};
        }

        // Anything but digits and "-": the decimal field becomes 0, the others
        // keep showing 77.
        for (const char* text : {"12a", "+5", "1 2", "0x10", "1.5"}) {
            QTest::newRow(qPrintable(QStringLiteral("dec error '%1'").arg(text)))
                << "dec" << QString::fromLatin1(text) << "0" << kHex77 << kBin77
                << QStringList{kDecError} << none;
        }
        QTest::newRow("dec error cyrillic") << "dec" << QStringLiteral("12з") << "0" << kHex77
                                            << kBin77 << QStringList{kDecError} << none;

        // The hex field keeps its text as typed; bin gets four digits per
        // hex digit.
        QTest::newRow("hex FFFFFFFF") << "hex"
                                      << "FFFFFFFF"
                                      << "-1"
                                      << "FFFFFFFF" << kOnes32 << none << none;
        QTest::newRow("hex 7FFFFFFF") << "hex"
                                      << "7FFFFFFF"
                                      << "2147483647"
                                      << "7FFFFFFF" << kMax32 << none << none;
        QTest::newRow("hex 80000000") << "hex"
                                      << "80000000"
                                      << "-2147483648"
                                      << "80000000" << kMin32 << none << none;
        QTest::newRow("hex A") << "hex"
                               << "A"
                               << "10"
                               << "A"
                               << "1010" << none << none;
        QTest::newRow("hex 00A") << "hex"
                                 << "00A"
                                 << "10"
                                 << "00A"
                                 << "000000001010" << none << none;
        QTest::newRow("hex ff") << "hex"
                                << "ff"
                                << "255"
                                << "ff"
                                << "11111111" << none << none;
        QTest::newRow("hex fFfFfFfF") << "hex"
                                      << "fFfFfFfF"
                                      << "-1"
                                      << "fFfFfFfF" << kOnes32 << none << none;
        QTest::newRow("hex empty") << "hex"
                                   << ""
                                   << "0"
                                   << ""
                                   << "" << none << none;
        QTest::newRow("hex XYZ") << "hex"
                                 << "XYZ"
                                 << "0"
                                 << "XYZ"
                                 << "0000" << QStringList{kHexError, kHexError} << none;
        QTest::newRow("hex fg") << "hex"
                                << "fg"
                                << "0"
                                << "fg"
                                << "0000" << QStringList{kHexError, kHexError} << none;
        QTest::newRow("hex -1") << "hex"
                                << "-1"
                                << "0"
                                << "-1"
                                << "0000" << QStringList{kHexError, kHexError} << none;

        // The bin field keeps its text as typed; hex gets one digit per group
        // of four, counted from the right.
        QTest::newRow("bin 101") << "bin"
                                 << "101"
                                 << "5"
                                 << "5"
                                 << "101" << none << none;
        QTest::newRow("bin 10000") << "bin"
                                   << "10000"
                                   << "16"
                                   << "10"
                                   << "10000" << none << none;
        QTest::newRow("bin 00000001") << "bin"
                                      << "00000001"
                                      << "1"
                                      << "01"
                                      << "00000001" << none << none;
        QTest::newRow("bin 32 ones") << "bin" << kOnes32 << "-1"
                                     << "FFFFFFFF" << kOnes32 << none << none;
        QTest::newRow("bin min") << "bin" << kMin32 << "-2147483648"
                                 << "80000000" << kMin32 << none << none;
        QTest::newRow("bin max") << "bin" << kMax32 << "2147483647"
                                 << "7FFFFFFF" << kMax32 << none << none;
        QTest::newRow("bin empty") << "bin"
                                   << ""
                                   << "0"
                                   << ""
                                   << "" << none << none;
        QTest::newRow("bin 102") << "bin"
                                 << "102"
                                 << "0"
                                 << "0"
                                 << "102" << QStringList{kBinError} << none;
        QTest::newRow("bin -1") << "bin"
                                << "-1"
                                << "0"
                                << "0"
                                << "-1" << QStringList{kBinError} << none;
    }
    void leavingAField() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, dec);
        QFETCH(QString, hex);
        QFETCH(QString, bin);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, faults);

        QLineEdit* edit = field(name);
        prepare(edit, kDec77, kHex77, kBin77);
        retype(edit, typed);
        QCOMPARE(edit->text(), typed);
        // Nothing happens until the focus leaves the field.
        QCOMPARE(form_->EditDec->text(), name == "dec" ? typed : kDec77);
        QCOMPARE(form_->EditHex->text(), name == "hex" ? typed : kHex77);
        QCOMPARE(form_->EditBin->text(), name == "bin" ? typed : kBin77);

        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!edit->hasFocus());
        QCOMPARE(form_->EditDec->text(), dec);
        QCOMPARE(form_->EditHex->text(), hex);
        QCOMPARE(form_->EditBin->text(), bin);
        QCOMPARE(messages(errors_), errors);
        QCOMPARE(messages(faults_), faults);
    }

    // Each message is shown before the field it concerns changes.
    void messagesComeFirst() {
        prepare(form_->EditDec, kDec77, kHex77, kBin77);
        retype(form_->EditDec, "12a");
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QCOMPARE(errors_.size(), size_t(1));
        QCOMPARE(errors_[0].dec, QStringLiteral("12a"));
        QCOMPARE(form_->EditDec->text(), QStringLiteral("0"));

        // The two hex reports: the first before the decimal field is
        // written, the second before the binary one.
        prepare(form_->EditHex, kDec77, kHex77, kBin77);
        retype(form_->EditHex, "XYZ");
        QTest::keyClick(form_->EditHex, Qt::Key_Tab);
        QCOMPARE(errors_.size(), size_t(2));
        QCOMPARE(errors_[0].dec, kDec77);
        QCOMPARE(errors_[0].bin, kBin77);
        QCOMPARE(errors_[1].dec, QStringLiteral("0"));
        QCOMPARE(errors_[1].bin, kBin77);

        prepare(form_->EditBin, kDec77, kHex77, kBin77);
        retype(form_->EditBin, "102");
        QTest::keyClick(form_->EditBin, Qt::Key_Tab);
        QCOMPARE(errors_.size(), size_t(1));
        QCOMPARE(errors_[0].hex, kHex77);
        QCOMPARE(errors_[0].dec, kDec77);
    }

    // A good decimal text, then a rejected one: hex and bin still show the
    // good number while the decimal field shows 0.
    void rejectedDecimalAfterGoodOne() {
        prepare(form_->EditDec, "0", "0", "0");
        retype(form_->EditDec, "-2");
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QCOMPARE(form_->EditHex->text(), QStringLiteral("FFFFFFFE"));
        QVERIFY(form_->EditHex->hasFocus());

        // Back to the decimal field: leaving hex recomputes from FFFFFFFE.
        QTest::keyClick(form_->EditHex, Qt::Key_Backtab);
        QVERIFY(form_->EditDec->hasFocus());
        QCOMPARE(form_->EditDec->text(), QStringLiteral("-2"));
        retype(form_->EditDec, "-2e");
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QCOMPARE(form_->EditDec->text(), QStringLiteral("0"));
        QCOMPARE(form_->EditHex->text(), QStringLiteral("FFFFFFFE"));
        QCOMPARE(form_->EditBin->text(), QString(31, u'1') + "0");
        QCOMPARE(messages(errors_), QStringList{kDecError});
        QVERIFY(faults_.empty());

        // And a text that is no integer changes nothing at all.
        QTest::keyClick(form_->EditHex, Qt::Key_Backtab);
        retype(form_->EditDec, "3-");
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QCOMPARE(form_->EditDec->text(), QStringLiteral("3-"));
        QCOMPARE(form_->EditHex->text(), QStringLiteral("FFFFFFFE"));
        QCOMPARE(form_->EditBin->text(), QString(31, u'1') + "0");
        QCOMPARE(messages(faults_), QStringList{Fault("3-")});
    }

    // A click on another field leaves the field too; Return does not.
    void clickLeavesReturnDoesNot() {
        prepare(form_->EditDec, kDec77, kHex77, kBin77);
        retype(form_->EditDec, "255");
        QTest::keyClick(form_->EditDec, Qt::Key_Return);
        QVERIFY(form_->EditDec->hasFocus());
        QCOMPARE(form_->EditHex->text(), kHex77);

        QTest::mouseClick(form_->EditBin, Qt::LeftButton);
        QVERIFY(form_->EditBin->hasFocus());
        QCOMPARE(form_->EditHex->text(), QStringLiteral("000000FF"));
        QCOMPARE(form_->EditBin->text(), QString(24, u'0') + "11111111");
    }

    // Without a replacement the fault is a real critical message box over
    // the window; closing it leaves every field as it was.
    void faultInAMessageBox() {
        form_->showFault = realFaultBox_;
        prepare(form_->EditDec, kDec77, kHex77, kBin77);
        retype(form_->EditDec, "-");

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
            box->reject();
        });
        poll.start();
        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        poll.stop();

        QCOMPARE(seenText, Fault("-"));
        QCOMPARE(seenIcon, QMessageBox::Critical);
        QCOMPARE(seenParent, static_cast<QWidget*>(form_));
        QCOMPARE(form_->EditDec->text(), QStringLiteral("-"));
        QCOMPARE(form_->EditHex->text(), kHex77);
        QCOMPARE(form_->EditBin->text(), kBin77);
        QVERIFY(errors_.empty());
    }

    // Ctrl+C is the menu entry that shows the converter, from every window:
    // it shows the window, brings it back to the front, and never copies.
    void ctrlCShowsAndNeverCopies() {
        TForm1* main = app_->form1.get();
        form_->hide();
        activate(main);
        pressCtrlC();
        QTRY_VERIFY(form_->isVisible());
        QTRY_VERIFY(form_->isActiveWindow());

        prepare(form_->EditDec, kDec77, kHex77, kBin77);
        retype(form_->EditDec, "1234");
        QTest::keyClick(form_->EditDec, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form_->EditDec->selectedText(), QStringLiteral("1234"));

        // The clipboard works here: copying from the program changes it.
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));
        form_->EditDec->copy();
        QCOMPARE(clipboard->text(), QStringLiteral("1234"));
        clipboard->setText(QStringLiteral("before"));

        pressCtrlC();
        QCOMPARE(clipboard->text(), QStringLiteral("before"));
        QVERIFY(form_->isVisible());
        QVERIFY(form_->isActiveWindow());
        // The focus stayed in the field; what was typed there counted
        // before the command acted, as it does for every command.
        QVERIFY(form_->EditDec->hasFocus());
        QCOMPARE(form_->EditDec->text(), QStringLiteral("1234"));
        QCOMPARE(form_->EditHex->text(), QStringLiteral("000004D2"));

        // The main window in front, the converter behind it: Ctrl+C brings it
        // back with the text typed there still waiting in its field.
        retype(form_->EditDec, "77");
        activate(main);
        QVERIFY(!form_->isActiveWindow());
        pressCtrlC();
        QTRY_VERIFY(form_->isActiveWindow());
        QTRY_VERIFY(form_->EditDec->hasFocus());
        QCOMPARE(form_->EditDec->text(), kDec77);
        QCOMPARE(form_->EditHex->text(), QStringLiteral("000004D2"));
        QCOMPARE(clipboard->text(), QStringLiteral("before"));
        QVERIFY(errors_.empty() && faults_.empty());

        QTest::keyClick(form_->EditDec, Qt::Key_Tab);
        QCOMPARE(form_->EditHex->text(), kHex77);
    }

    // Closing the window only hides it; the texts are there when the menu
    // shows it again.
    void closingOnlyHides() {
        prepare(form_->EditHex, kDec77, kHex77, kBin77);
        retype(form_->EditHex, "c0de");
        QTest::keyClick(form_->EditHex, Qt::Key_Tab);
        QCOMPARE(form_->EditDec->text(), QStringLiteral("49374"));
        QCOMPARE(form_->EditBin->text(), QStringLiteral("1100000011011110"));

        QPointer<TForm2> guard(form_);
        QVERIFY(form_->close());
        QVERIFY(guard);
        QVERIFY(!form_->isVisible());

        activate(app_->form1.get());
        pressCtrlC();
        QTRY_VERIFY(form_->isActiveWindow());
        QCOMPARE(form_->EditDec->text(), QStringLiteral("49374"));
        QCOMPARE(form_->EditHex->text(), QStringLiteral("c0de"));
        QCOMPARE(form_->EditBin->text(), QStringLiteral("1100000011011110"));
        QVERIFY(errors_.empty() && faults_.empty());
    }
};

QTEST_MAIN(ConverterTest)
#include "gui_converter.moc"
