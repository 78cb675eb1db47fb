#include "file_commands.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace kovar::ui {
namespace {

QString settingsKey(const QString& key) {
    return QStringLiteral("folders/") + key;
}

} // namespace

QString LastFolder(const QString& key) {
    const QString folder = QSettings().value(settingsKey(key)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolder(const QString& key, const QString& fileName) {
    if (fileName.isEmpty())
        return;
    QSettings().setValue(settingsKey(key), QFileInfo(fileName).absolutePath());
}

QString RunFileDialog(QFileDialog& dialog, const QString& key, const QString& file) {
    if (QFileInfo(file).isAbsolute()) {
        dialog.selectFile(file);
    } else {
        if (const QString folder = LastFolder(key); !folder.isEmpty())
            dialog.setDirectory(folder);
        if (!file.isEmpty())
            dialog.selectFile(file);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString name = dialog.selectedFiles().front();
    RememberFolder(key, name);
    return name;
}

int AskSaveChanges(QWidget* parent, const QString& title, const QString& what) {
    QMessageBox box(QMessageBox::Question, title, QStringLiteral("Сохранить изменения?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setInformativeText(what);
    box.button(QMessageBox::Save)->setText(QStringLiteral("Сохранить"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("Не сохранять"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec();
}

} // namespace kovar::ui
