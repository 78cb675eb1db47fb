// The source window ("Ассемблер"): a program-text editor with line numbers
// and colouring, Open and Save of ".kasm" files, and the command that
// assembles the text into the machine's memory; errors are listed below the
// editor and a click on one puts the cursor on its line.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class AsmHighlighter;
class QAction;
class QLabel;
class QListWidget;
class QSplitter;
class QToolBar;
class TForm1;

// A plain-text editor with a line-number margin.
class CodeEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CodeEditor(QWidget* parent = nullptr);
    int lineNumberWidth() const;
    void paintLineNumbers(QPaintEvent* event);
    // Puts the cursor on a line and column (both from 1) and shows it.
    void goTo(int line, int column);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* lineNumbers_;
    AsmHighlighter* highlighter_;
};

// The source window.
class AsmWindow : public QWidget {
    Q_OBJECT
public:
    explicit AsmWindow(TForm1& main, QWidget* parent = nullptr);

    CodeEditor* Editor;
    QListWidget* Errors;
    QLabel* Status;
    QAction* NewAction;      // "Новый"
    QAction* OpenAction;     // "Открыть..." Ctrl+O
    QAction* SaveAction;     // "Сохранить" Ctrl+S
    QAction* SaveAsAction;   // "Сохранить как..." Ctrl+Shift+S
    QAction* AssembleAction; // "Ассемблировать" Ctrl+Return

    // The dialogs, replaceable so that the commands can be driven without a
    // blocking dialog. An empty name means the user cancelled.
    std::function<QString()> askOpenFileName;
    std::function<QString()> askSaveFileName;
    // Asked before unsaved text would be lost: QMessageBox::Save, Discard or
    // Cancel.
    std::function<int()> askSaveChanges;

    // Offers to save unsaved text; false when the user cancels (or the save
    // fails), and the text must then be kept.
    bool maybeSaveSource();
    bool openFile(const QString& name);
    // Opens a file as a new, untitled text (an example that must not be
    // saved over): Save asks for a name, offering the file's.
    bool openExample(const QString& name);
    bool saveFile(const QString& name);
    const QString& fileName() const { return fileName_; }
    // The text's name as the window shows it: the file's name, or
    // "(без имени)", or "(пример NAME)" for an example opened as new text.
    QString displayName() const;

    // Assembles the text into memory; false (and memory unchanged) on errors.
    bool AssembleClick();
    // A fresh, untitled text, after the question about unsaved text.
    void NewClick();
    void OpenClick();
    bool SaveClick();
    bool SaveAsClick();
    void ErrorsClick(int row);

private:
    void updateTitle();

    TForm1& main_;
    QString fileName_;
    QString exampleName_; // of the example an untitled text was opened from
    std::vector<std::pair<int, int>> errorPlaces_; // line, column of each listed error
};
