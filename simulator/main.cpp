// kovar3: the simulator program.
#include <QApplication>
#include <csignal>

#include "app.h"
#include "mem1.h"

int main(int argc, char** argv) {
    // A file-size limit must make a save fail (and be reported), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    KovarApp program;
    QObject::connect(program.form1.get(), &TForm1::closed, &application, &QApplication::quit);
    program.start();
    return application.exec();
}
