// The simulator window's file commands: New, Save and Load of the memory
// image, Exit, saving the trace to a text file, and the dialogs and the
// question about unsaved changes that they use.
#include <QFileDialog>
#include <QMessageBox>
#include <cstdint>
#include <string>

#include "atomic_file.h"
#include "file_commands.h"
#include "mem1.h"
#include "memory_image.h"
#include "show_error.h"
#include "ui_support.h"

using kovar::StackId;
using kovar::ui::S;

void TForm1::installFileDialogs() {
    // Both dialogs open in the folder that either used last.
    const QString folderKey = QStringLiteral("image");
    askSaveFileName = [this, folderKey] {
        QFileDialog dialog(this, QStringLiteral("Сохранить"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("emu"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        return kovar::ui::RunFileDialog(dialog, folderKey);
    };
    askOpenFileName = [this, folderKey] {
        QFileDialog dialog(this, QStringLiteral("Загрузить"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("emu"));
        dialog.setNameFilter(QStringLiteral("Dmp Emulator (*.emu)"));
        return kovar::ui::RunFileDialog(dialog, folderKey);
    };
    askSaveChanges = [this] {
        return kovar::ui::AskSaveChanges(
            this, QStringLiteral("KOVAR"),
            QStringLiteral("Память, стеки и регистры изменены после последнего сохранения."));
    };
    askTraceFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Сохранить трассу"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setNameFilter(QStringLiteral("Текст (*.txt)"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
}

bool TForm1::mayDiscardChanges() {
    if (!unsaved_)
        return true;
    const int answer = askSaveChanges ? askSaveChanges() : int(QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return saveMachine();
    return answer == QMessageBox::Discard;
}

bool TForm1::saveMachine() {
    const QString name = askSaveFileName ? askSaveFileName() : QString();
    if (name.isEmpty())
        return false;
    if (!kovar::SaveDmp(st_, S(name)))
        return false;
    unsaved_ = false;
    return true;
}

void TForm1::N10Click() {
    if (!mayDiscardChanges())
        return;
    st_.Reset();
    unsaved_ = false;
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
    log_.Clear();
    flushViews();
    machineReplaced();
}

void TForm1::N8Click() {
    saveMachine();
}

void TForm1::N11Click() {
    // Loading replaces the machine as New does: unsaved work is asked about.
    if (!mayDiscardChanges())
        return;
    const QString name = askOpenFileName ? askOpenFileName() : QString();
    if (name.isEmpty())
        return;
    loadImageFile(name);
}

bool TForm1::loadImageFile(const QString& name) {
    std::uint64_t fileBytes = kovar::kImageSize;
    const bool loaded = kovar::LoadDmp(st_, S(name), &fileBytes);
    if (loaded)
        unsaved_ = false; // the machine is now the file's
    RefreshMem();
    RefreshStack(StackId::DS);
    RefreshStack(StackId::RS);
    RefreshURD();
    RefreshPC();
    if (loaded)
        machineReplaced();
    // A file of another size loads all the same, as it always did, but a
    // half-filled machine must not pass for the file's: the user is told,
    // in the message window of every other file problem.
    if (const std::string warning = kovar::ImageSizeWarning(S(name), fileBytes);
        loaded && !warning.empty())
        kovar::ShowError(warning);
    return loaded;
}

void TForm1::N12Click() {
    close();
}

void TForm1::SaveTraceClick() {
    const QString name = askTraceFileName ? askTraceFileName() : QString();
    if (name.isEmpty())
        return;
    std::string text;
    for (std::size_t i = 0; i < log_.size(); ++i) {
        text += log_.line(i);
        text += '\n';
    }
    const std::string file = S(name);
    kovar::WriteFileOrReport(file, text.data(), text.size());
}
