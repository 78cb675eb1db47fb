// The error dialog with messages of every size: short ones keep the small
// dialog, a file's name with its reason shows both lines, and no message
// makes the dialog leave the screen's free area.
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "error.h"
#include "gui_support.h"

namespace {

QString LongPath(int parts, const QString& part) {
    QString path;
    for (int i = 0; i < parts; ++i)
        path += QLatin1Char('/') + part + QString::number(i);
    return path + QStringLiteral(".emu");
}

} // namespace

class ErrorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { kovar::test::QuietRaiseWarnings(); }

    void fitsTheScreen_data() {
        QTest::addColumn<QString>("message");
        const QString write = QStringLiteral("Ошибка записи файла: ");
        QTest::newRow("short") << QStringLiteral("Ошибка ввода hex числа");
        QTest::newRow("name and reason")
            << write + QStringLiteral("/home/student/lab1.emu\nнет доступа");
        QTest::newRow("deep folders")
            << write + LongPath(120, QStringLiteral("папка")) + QStringLiteral("\nдиск заполнен");
        QTest::newRow("one long name") << write + QStringLiteral("/tmp/") +
                                              QString(250, QLatin1Char('x')) +
                                              QStringLiteral("\nнет такой папки");
        QTest::newRow("more lines than the screen")
            << write + QString(40000, QLatin1Char('W')) + QStringLiteral("\nслишком длинное имя");
        QTest::newRow("markup") << write + QStringLiteral("<b>bold</b>.emu\nэто папка");
    }

    void fitsTheScreen() {
        QFETCH(QString, message);
        TForm3 dialog;
        dialog.setMessage(message);
        QVERIFY(kovar::test::Activate(&dialog));
        const QRect area = dialog.screen()->availableGeometry();
        const QRect frame = dialog.frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                      .arg(frame.x())
                                                      .arg(frame.y())
                                                      .arg(frame.width())
                                                      .arg(frame.height())));

        // Every line in view, the button below the text and inside the dialog.
        const QString shown = dialog.Label1->text();
        const QFontMetrics metrics(dialog.Label1->font());
        for (const QString& line : shown.split(QLatin1Char('\n')))
            QVERIFY(metrics.horizontalAdvance(line) <= dialog.Label1->width());
        QVERIFY(dialog.Label1->geometry().right() < dialog.width());
        QVERIFY(dialog.Button1->y() > dialog.Label1->geometry().bottom());
        QVERIFY(dialog.rect().contains(dialog.Button1->geometry()));
        QCOMPARE(dialog.message(), message);

        // Nothing is lost but a middle part that does not fit; the reason stays.
        const QStringList given = message.split(QLatin1Char('\n'));
        if (shown.contains(QStringLiteral("…"))) {
            QVERIFY(shown.startsWith(given.front().left(20)));
        } else {
            QCOMPARE(QString(shown).remove(QLatin1Char('\n')),
                     QString(message).remove(QLatin1Char('\n')));
        }
        QCOMPARE(shown.split(QLatin1Char('\n')).back(), given.back());
        if (given.size() == 1 && shown == message)
            QCOMPARE(dialog.size(), QSize(242, 92)); // a short message keeps the small dialog
        dialog.Button1->click();
    }

    void wrapsAfterAFolder() {
        const QFontMetrics metrics(QApplication::font());
        const QString path = LongPath(30, QStringLiteral("folder"));
        const int width = metrics.horizontalAdvance(path) / 4;
        const QStringList lines = TForm3::WrapLines(path, metrics, width);
        QVERIFY(lines.size() >= 4);
        QCOMPARE(lines.join(QString()), path);
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QVERIFY(lines[i].endsWith(QLatin1Char('/')));
            QVERIFY(metrics.horizontalAdvance(lines[i]) <= width);
        }
    }
};

QTEST_MAIN(ErrorDialogTest)
#include "gui_error.moc"
