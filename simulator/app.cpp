#include "app.h"

#include "program_file.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <utility>

#include "asm_window.h"
#include "constr.h"
#include "convert.h"
#include "error.h"
#include "help_menu.h"
#include "listing_window.h"
#include "mem1.h"
#include "pic.h"
#include "rpncalc_unit.h"
#include "ui_support.h"
#include "window_place.h"

KovarApp::KovarApp() {
    QCoreApplication::setApplicationName(QStringLiteral("KOVAR"));
    // The settings (where the tool windows were left) live under this name.
    QCoreApplication::setOrganizationName(QStringLiteral("kovar3"));
    kovar::ui::LoadQtTranslations();
    form1 = std::make_unique<TForm1>(state, log);
    splash = std::make_unique<TSplashScreen>();
    form2 = std::make_unique<TForm2>();
    form3 = std::make_unique<TForm3>();
    form4 = std::make_unique<TForm4>(state, *form1);
    rpncalc = std::make_unique<TRPNcalc>();
    form1->setSplash(splash.get());
    splash->setOwner(form1.get());
    form1->setToolWindows(form2.get(), form4.get(), rpncalc.get());
    QObject::connect(form4.get(), &TForm4::edited, form1.get(), &TForm1::userEdited);
    // The constructor's PC field shows PC wherever the simulator window's does.
    QObject::connect(form1.get(), &TForm1::pcRedrawn, form4.get(), &TForm4::ShowPC);
    asmWindow = std::make_unique<AsmWindow>(*form1);
    listingWindow = std::make_unique<ListingWindow>(form1->link());
    form1->setAsmWindows(asmWindow.get(), listingWindow.get());
    // The listing's data values follow the main window's decimal view.
    listingWindow->setDecimal(form1->decimalView());
    QObject::connect(form1.get(), &TForm1::decimalViewChanged, listingWindow.get(),
                     &ListingWindow::setDecimal);
    help = new HelpMenu(*form1, *asmWindow);
    const std::pair<QWidget*, const char*> tools[] = {{form2.get(), "converter"},
                                                      {form4.get(), "constructor"},
                                                      {rpncalc.get(), "calculator"},
                                                      {asmWindow.get(), "source"},
                                                      {listingWindow.get(), "listing"}};
    for (const auto& [tool, key] : tools)
        kovar::ui::PlaceToolWindow(tool, form1.get(), QString::fromLatin1(key));
    // Unsaved program text is asked about before the program closes.
    AsmWindow* source = asmWindow.get();
    form1->beforeClose << [source] { return source->maybeSaveSource(); };

    // Errors show the modal dialog; the main window's views are brought up
    // to date first, so the user sees the machine as it stands.
    TForm1* main = form1.get();
    previousHandler_ = kovar::SetErrorHandler([main](std::string_view message) {
        main->flushViews();
        QWidget* owner = QApplication::activeWindow();
        TForm3::ShowModal(kovar::ui::Q(message), owner ? owner : main);
    });
}

KovarApp::~KovarApp() {
    kovar::SetErrorHandler(previousHandler_);
}

void KovarApp::start(const QString& imageFile) {
    form1->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form1->move(area.center() - QPoint(form1->width() / 2, form1->height() / 2));
    }
    form1->show();
    form1->raise();
    form1->activateWindow();
    if (!imageFile.isEmpty()) {
        // The window has not been activated yet: draw the empty machine now,
        // so that an error dialog about the file stands over a filled window.
        form1->RefreshMem();
        form1->RefreshStack(kovar::StackId::DS);
        form1->RefreshStack(kovar::StackId::RS);
        form1->RefreshURD();
        form1->RefreshPC();
        if (kovar::IsSourceFileName(kovar::ui::S(imageFile))) {
            // Program text opens in the source window and is assembled into memory.
            kovar::ui::ShowToFront(asmWindow.get());
            if (asmWindow->openFile(imageFile))
                asmWindow->AssembleClick();
        } else {
            form1->loadImageFile(imageFile);
        }
    }
}
