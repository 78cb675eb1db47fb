// kovar3-screenshot: draws the windows of the program, as a user sees them
// after entering the user guide's first program and pressing F7 once, into
// PNG files for the documentation.
//
//   QT_QPA_PLATFORM=offscreen kovar3-screenshot FOLDER
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

#include "app.h"
#include "constr.h"
#include "mem1.h"
#include "pic.h"

namespace {

bool save(QWidget* window, const QDir& folder, const char* name) {
    QApplication::processEvents();
    const QString file = folder.filePath(QString::fromLatin1(name));
    if (!window->grab().save(file, "PNG")) {
        std::fprintf(stderr, "kovar3-screenshot: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kovar3-screenshot FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "kovar3-screenshot: cannot make %s\n", argv[1]);
        return 1;
    }

    // The pictures neither depend on nor change the user's settings.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    KovarApp program;
    program.start();
    program.splash->hide();

    // SOS = 3, TOS = 2; at 0: TOS := SOS + TOS with a pop of DS; at 4: the halt word.
    kovar::MachineState& state = program.state;
    state.DS[0] = 2;
    state.DS[1] = 3;
    state.WriteInstructionWord(0, 0x6101004Fu);
    state.WriteInstructionWord(4, 0xFFFFFFFFu);
    TForm1& main = *program.form1;
    main.RefreshMem();
    main.RefreshStack(kovar::StackId::DS);
    main.N7Click();

    bool ok = save(&main, folder, "main-window.png");
    program.form4->show();
    ok = save(program.form4.get(), folder, "constructor.png") && ok;
    return ok ? 0 : 1;
}
