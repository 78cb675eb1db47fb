// kovar3: the simulator program.
//
//   kovar3 [IMAGE]
//
// With IMAGE, the memory image is loaded at start as "Загрузить" would load
// it, so that a file manager's "open with" and the desktop entry work.
#include <QApplication>
#include <QCommandLineParser>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "app.h"
#include "atomic_file.h"
#include "mem1.h"

namespace {

constexpr const char* kHelp =
    "Usage: kovar3 [OPTION]... [IMAGE]\n"
    "KOVAR 3: a simulator of a 32-bit processor with two stacks.\n"
    "\n"
    "  IMAGE          a memory image (.emu) to load at start, or a program text\n"
    "                 (.kasm) to assemble\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "\n"
    "The standard options of the window toolkit (such as -platform NAME) are\n"
    "accepted as well.\n";

// --help and --version are answered before the window toolkit starts, so
// that they work without a display. The exit code, or nothing when neither
// is asked for.
std::optional<int> AnswerWithoutWindows(int argc, char** argv) {
    const char* text = nullptr;
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string_view a = argv[i];
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all") {
            text = kHelp;
            break;
        }
        if (a == "-v" || a == "--version")
            text = "kovar3 " KOVAR_VERSION "\n";
    }
    if (text == nullptr)
        return std::nullopt;
    errno = 0;
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
        const int err = errno != 0 ? errno : EIO;
        std::fprintf(stderr, "kovar3: Ошибка записи файла: стандартный вывод\n%s\n",
                     kovar::FileErrorCause(err, true).c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit must make a save fail (and be reported), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const std::optional<int> code = AnswerWithoutWindows(argc, argv))
        return *code;

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
