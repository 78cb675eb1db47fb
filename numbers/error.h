// TForm3: the modal error dialog behind ShowError.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The error dialog ("Ошибка"): one message and an "Ok" button.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    QLabel* Label1;
    QPushButton* Button1;

    // Builds a fresh dialog with the message, shows it modally and returns
    // once the user has closed it.
    static void ShowModal(const QString& message, QWidget* parent = nullptr);

    void setMessage(const QString& message);

public slots:
    void Button1Click();
};
