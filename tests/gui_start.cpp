// The simulator started with a memory image named on its command line: the
// image is loaded as "Загрузить" loads it, a file that cannot be read is
// reported in the error dialog while the machine stays empty, and a file of
// the wrong size is loaded all the same and reported.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app.h"
#include "asm_window.h"
#include "error.h"
#include "gui_support.h"
#include "mem1.h"
#include "memory_image.h"
#include "pic.h"
#include "show_error.h"
#include "ui_support.h"

class GuiStart : public QObject {
    Q_OBJECT

    static QByteArray imageBytes(const kovar::MachineState& state) {
        const kovar::ImageBytes image = kovar::EncodeImage(state);
        return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
    }

private slots:
    void initTestCase() { kovar::test::QuietRaiseWarnings(); }

    void loadsTheImageNamedAtStart() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QRandomGenerator random(20261208);
        for (int round = 0; round < 3; ++round) {
            QByteArray bytes(qsizetype(kovar::kImageSize), '\0');
            for (char& b : bytes)
                b = char(random.bounded(256));
            const QString file = dir.filePath(QStringLiteral("image%1.emu").arg(round));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            QCOMPARE(out.write(bytes), bytes.size());
            out.close();

            KovarApp app;
            QStringList errors;
            const kovar::ErrorHandler previous =
                kovar::SetErrorHandler([&](std::string_view m) { errors << kovar::ui::Q(m); });
            app.start(file);
            kovar::SetErrorHandler(previous);

            QVERIFY(errors.isEmpty());
            QCOMPARE(imageBytes(app.state), bytes);
            QVERIFY(app.form1->isVisible());
            QCOMPARE(app.form1->EditPC->text(), QString::asprintf("%08X", unsigned(app.state.PC)));
            QCOMPARE(app.form1->DSView.items[0]->text(),
                     QString::asprintf("%08X", uint32_t(app.state.DS[0])));
            QCOMPARE(app.form1->MemCells[5]->text(),
                     QString::asprintf("%02X", unsigned(app.state.Memory[5])));
        }
    }

    void programTextNamedAtStartIsAssembled() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("p.kasm"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(".org 8\nstart: LAL\nhalt\n.break\n");
        out.close();
        KovarApp app;
        app.start(file);
        QCOMPARE(app.state.PC, 8);
        QCOMPARE(app.state.ReadInstructionWord(12), 0xFFFFFFFFu);
        QCOMPARE(app.state.BreakpointMarks[16], uint8_t{1});
        QCOMPARE(app.form1->EditPC->text(), QStringLiteral("00000008"));
        QVERIFY(app.asmWindow->isVisible());
    }

    // A file of another size than 2148 bytes loads as before, on the
    // command line and through "Загрузить", and one message names its size.
    void aWrongSizedImageLoadsAndIsReported_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("problem");
        QTest::newRow("short") << 1000 << QStringLiteral("короткий файл: 1000 байт из 2148");
        QTest::newRow("2147") << 2147 << QStringLiteral("короткий файл: 2147 байт из 2148");
        QTest::newRow("whole") << 2148 << QString();
        QTest::newRow("2149") << 2149 << QStringLiteral("длинный файл: 2149 байт вместо 2148");
        QTest::newRow("long") << 3000 << QStringLiteral("длинный файл: 3000 байт вместо 2148");
    }
    void aWrongSizedImageLoadsAndIsReported() {
        QFETCH(int, size);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("student.emu"));
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + 1);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == size);
        out.close();
        kovar::MachineState loaded; // the file as Load always took it
        kovar::DecodeImage(loaded, reinterpret_cast<const uint8_t*>(bytes.constData()),
                           std::min<std::size_t>(std::size_t(size), kovar::kImageSize));
        for (const bool commandLine : {true, false}) {
            KovarApp app;
            QStringList errors;
            const kovar::ErrorHandler previous =
                kovar::SetErrorHandler([&](std::string_view m) { errors << kovar::ui::Q(m); });
            app.form1->askOpenFileName = [&file] { return file; };
            commandLine ? app.start(file) : app.form1->N11Click();
            kovar::SetErrorHandler(previous);
            QCOMPARE(errors.join(QString()),
                     problem.isEmpty() ? QString()
                                       : QStringLiteral("Загружен файл неверного размера: ") +
                                             file + QLatin1Char('\n') + problem);
            QCOMPARE(imageBytes(app.state), imageBytes(loaded));
        }
    }

    void anUnreadableImageIsReportedAndTheMachineStaysEmpty() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString missing = dir.filePath(QStringLiteral("missing.emu"));

        KovarApp app;
        // The error dialog is modal: read it and close it as a user would.
        QString shown;
        QTimer::singleShot(0, [&shown] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            shown = dialog->Label1->text();
            dialog->Button1->click();
        });
        app.start(missing);

        QVERIFY2(shown.contains(QStringLiteral("Ошибка чтения файла")), qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("missing.emu")), qPrintable(shown));
        QCOMPARE(imageBytes(app.state), imageBytes(kovar::MachineState{}));
        QVERIFY(app.form1->isVisible());
        QCOMPARE(app.form1->EditPC->text(), QStringLiteral("00000000"));
    }
};

QTEST_MAIN(GuiStart)
#include "gui_start.moc"
