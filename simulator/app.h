// The program: the one MachineState and TraceLog, and every window, created
// hidden in a fixed order (the simulator window first). main() and the window
// tests build the program the same way.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "machine_state.h"
#include "show_error.h"
#include "trace_log.h"

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TRPNcalc;
class TSplashScreen;
class AsmWindow;
class HelpMenu;
class ListingWindow;

class KovarApp {
public:
    KovarApp();
    ~KovarApp();
    KovarApp(const KovarApp&) = delete;
    KovarApp& operator=(const KovarApp&) = delete;

    // Shows the main window, centred on the screen. With a file name, the
    // memory image is then loaded as "Загрузить" would load it (a file that
    // cannot be read is reported in the error dialog over the window).
    void start(const QString& imageFile = QString());

    kovar::MachineState state;
    kovar::TraceLog log;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TSplashScreen> splash;
    std::unique_ptr<TForm2> form2; // number converter
    std::unique_ptr<TForm3> form3; // the error dialog made at start-up, never shown
    std::unique_ptr<TForm4> form4; // instruction constructor
    std::unique_ptr<TRPNcalc> rpncalc;
    std::unique_ptr<AsmWindow> asmWindow;         // program text
    std::unique_ptr<ListingWindow> listingWindow; // memory as instructions
    HelpMenu* help = nullptr; // "Справка" and "Файл" → "Примеры", owned by form1

private:
    kovar::ErrorHandler previousHandler_;
};
