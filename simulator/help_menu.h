// The help: the menu "Справка" (the user guide and the assembly language
// guide in the desktop's web browser, the folder of the examples, "О
// программе" and "О Qt"), and "Примеры" in the menu "Файл", which opens an
// example in the source window. The guides and the examples are looked for
// where they are installed beside the program, then in the source folder it
// was built from (a program run from its build folder).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class AsmWindow;
class QAction;
class QMenu;
class TForm1;

class HelpMenu : public QObject {
    Q_OBJECT
public:
    // Adds "Справка" after the main window's other menus and "Примеры" to
    // "Файл" after "Загрузить".
    HelpMenu(TForm1& main, AsmWindow& source);

    QMenu* Menu;              // "Справка"
    QAction* NGuide;          // "Руководство пользователя" F1
    QAction* NAsmGuide;       // "Язык ассемблера"
    QAction* NExamplesFolder; // "Папка с примерами"
    QAction* NAbout;          // "О программе"
    QAction* NAboutQt;        // "О Qt"
    QMenu* Examples;          // "Файл" → "Примеры": one entry per example

    // Opens a file or folder with the desktop's program for it (a guide in
    // the web browser); replaceable, so that tests open nothing.
    std::function<bool(const QUrl&)> openUrl;

    // The folders that may hold the guides, and the examples, in the order
    // they are tried.
    static QStringList GuideFolders();
    static QStringList ExampleFolders();
    // The example programs (*.kasm) of the first example folder that has any.
    static QStringList ExampleFiles();
    // The text of "О программе": the version and the licence of Qt.
    static QString AboutText();
    // Writes a guide as a web page (the guides beside it that it links to as
    // well) into `folder`, its pictures and links kept working; the page's
    // name, or an empty one when it could not be written.
    static QString GuidePage(const QString& markdownFile, const QString& folder);

    // Shows the guide `file` (such as "user-guide.md") in the web browser.
    void OpenGuide(const QString& file);
    void ExamplesFolderClick();
    void AboutClick();
    void ExampleClick(const QString& file);

private:
    bool open(const QString& file);

    TForm1& main_;
    AsmWindow& source_;
};
