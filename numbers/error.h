// TForm3: the modal error dialog behind ShowError.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QFontMetrics;
class QLabel;
class QPushButton;

// The error dialog ("Ошибка"): one message and an "Ok" button. A message of
// several lines (a file's name, then the reason) shows them all; a line too
// wide for the screen wraps (after a "/" where it can), and one with more
// lines than the screen holds loses its middle lines, so the dialog always
// fits the screen's free area.
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
    // The message as given, before any wrapping.
    QString message() const { return message_; }

    // Splits `text` into lines no wider than `width` pixels, each line break
    // of the text kept; a break falls after a "/" or a blank in the second
    // half of a line where there is one.
    static QStringList WrapLines(const QString& text, const QFontMetrics& metrics, int width);

public slots:
    void Button1Click();

private:
    QString message_;
    int lineHeight_ = 0; // of the label with one line of text
    int lineStep_ = 1;   // what each further line adds
};
