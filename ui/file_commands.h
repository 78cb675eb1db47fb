// What the windows' file commands share: the folder that a file dialog
// opens in (the one the user last took a file from or saved into, kept in
// the program's settings across starts), and the question asked before
// unsaved work would be lost, with a line that says which work it is.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace kovar::ui {

// The folder that the dialogs of `key` used last; empty when none was kept
// or it no longer exists (the dialog then opens where it would anyway).
QString LastFolder(const QString& key);
// Keeps the folder of `fileName` for the dialogs of `key`.
void RememberFolder(const QString& key, const QString& fileName);

// Runs a file dialog and keeps the folder of the file chosen for `key`.
// The dialog opens at `file` when it names a file with its folder, and
// otherwise in the folder kept for `key`, offering the name `file` (if any).
// Returns the chosen file, or an empty name when the user cancelled.
QString RunFileDialog(QFileDialog& dialog, const QString& key, const QString& file = QString());

// "Сохранить изменения?" under `title`, with the line `what` (what is
// unsaved) below it: QMessageBox::Save, Discard or Cancel.
int AskSaveChanges(QWidget* parent, const QString& title, const QString& what);

} // namespace kovar::ui
