// The program-text editor of the source window: line numbers and colouring,
// a margin column for breakpoint marks and error markers, the line of the
// instruction at PC underlaid, and the rejected parts of lines underlined.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <vector>

class AsmHighlighter;

// A plain-text editor with a line-number margin. The margin has a column
// for marks left of the numbers: breakpoints and error markers.
class CodeEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    struct LineError {
        int line = 0;   // from 1
        int column = 0; // from 1, in characters
        QString message;
    };

    explicit CodeEditor(QWidget* parent = nullptr);
    int lineNumberWidth() const;
    void paintLineNumbers(QPaintEvent* event);
    // Puts the cursor on a line and column (both from 1) and shows it.
    void goTo(int line, int column);

    // The margin, and the box of a line (from 1) in it (empty when the line
    // is not on screen).
    QWidget* gutter() const { return lineNumbers_; }
    QRect gutterLineRect(int line) const;
    // The line (from 1) drawn at a height of the margin; 0 below the text.
    int lineAtY(int y) const;

    // Underlays the line a cursor is on (a null cursor: none); the line is
    // scrolled into view when `reveal` is set or it is another line than
    // before.
    void setRunningLine(const QTextCursor& at, bool reveal);
    // The underlaid line, from 1; 0 when none.
    int runningLine() const;
    // The lines (cursors placed on them, which follow edits) that show a
    // breakpoint mark.
    void setMarkedLines(std::vector<QTextCursor> lines);
    bool lineMarked(int line) const;
    // Error markers; each goes when its line's text changes.
    void setErrors(const std::vector<LineError>& errors);
    // The message of the error marker on a line; empty when there is none.
    QString errorOfLine(int line) const;

signals:
    // A click in the margin on a line (from 1).
    void gutterClicked(int line);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct ErrorMark {
        QTextCursor at; // on the line; follows edits
        QString text;   // the line as it was when rejected
        QString message;
        int from = 0, to = 0; // the underlined part of the line, in UTF-16 units
    };
    int markColumnWidth() const;
    void updateExtraSelections();
    void dropEditedErrors();

    QWidget* lineNumbers_;
    AsmHighlighter* highlighter_;
    QTextCursor running_;
    std::vector<QTextCursor> marked_;
    std::vector<ErrorMark> errors_;
};
