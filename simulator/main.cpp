// kovar3: the simulator program.
//
//   kovar3 [IMAGE]
//
// With IMAGE, the memory image is loaded at start as "Загрузить" would load
// it, so that a file manager's "open with" and the desktop entry work.
#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <cstdio>

#include "app.h"
#include "mem1.h"

int main(int argc, char** argv) {
    // A file-size limit must make a save fail (and be reported), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setApplicationVersion(QStringLiteral(KOVAR_VERSION));
    // Lets the desktop match the window with the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kovar3"));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("KOVAR 3: a simulator of a 32-bit processor with two stacks."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QStringLiteral(
            "A memory image (.emu) to load at start, or a program text (.kasm) to assemble."),
        QStringLiteral("[IMAGE]"));
    options.process(application);
    const QStringList files = options.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "kovar3: one memory image at most\n%s",
                     qPrintable(options.helpText()));
        return 2;
    }

    KovarApp program;
    QObject::connect(program.form1.get(), &TForm1::closed, &application, &QApplication::quit);
    program.start(files.isEmpty() ? QString() : files.front());
    return application.exec();
}
