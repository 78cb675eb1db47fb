// The source window ("Ассемблер"): a program-text editor with line numbers
// and colouring, Open and Save of ".kasm" files, and the command that
// assembles the text into the machine's memory; errors are listed below the
// editor and a click on one puts the cursor on its line.
//
// Once the text is assembled into memory the window follows the machine: the
// line of the instruction at PC is underlaid, the margin shows a red mark on
// every line whose bytes carry a breakpoint, and a click there (or F5)
// toggles the mark of the line's instruction. After a failed assembly each
// rejected line has a marker (its message as tooltip) and a wavy underline.
#pragma once

#include <QString>
#include <QTextCursor>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "code_editor.h"

class QAction;
class QLabel;
class QListWidget;
class QSplitter;
class QToolBar;
class TForm1;
namespace kovar {
struct AsmError;
}

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
    QAction* MarkAction;     // "Точка останова" F5: on the cursor's line

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
    // Toggles the breakpoint of the instruction on a line (from 1) of the
    // text; a line without an assembled instruction is only reported in the
    // status line. False when nothing was toggled.
    bool toggleLineMark(int line);

private:
    void updateTitle();
    // Lists the errors below the editor and marks their lines.
    void showErrors(const std::vector<kovar::AsmError>& errors);
    // The text no longer is the one in memory (another file, a new text).
    void forgetAssembledText();
    // The machine's side: the map of the last assembly, the marks, PC.
    void followSourceMap();
    void refreshMarks();
    void followPC(bool reveal);
    // The assembled line (from 1) now shown on a line of the text; 0 when
    // the text's line is not one of the assembled program.
    int assembledLineAt(int line) const;
    QTextCursor anchorOf(int assembledLine) const;

    TForm1& main_;
    QString fileName_;
    QString exampleName_; // of the example an untitled text was opened from
    std::vector<std::pair<int, int>> errorPlaces_; // line, column of each listed error
    // The text's lines that the last assembly into memory mapped, by their
    // line then, each with a cursor on its line now (cursors follow edits);
    // empty when the text in the editor is not the assembled one.
    std::vector<std::pair<int, QTextCursor>> anchors_;
    std::vector<int> lineOfAddress_; // per memory address: the map's line, 0 for none
    std::vector<int> markedLines_;   // assembled lines that show a mark
    bool assembling_ = false;
    // The machine holds what the last assembly laid down, changed by nothing
    // but running it.
    bool machineFromText_ = false;
};
