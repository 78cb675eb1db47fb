#include <QtTest>

class Placeholder : public QObject {
    Q_OBJECT
private slots:
    void nothing() {}
};

QTEST_MAIN(Placeholder)
#include "gui_converter.moc"
