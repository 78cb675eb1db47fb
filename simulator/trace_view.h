// TraceView: the trace pane. It draws the lines of the TraceLog straight
// from the log, wrapping long lines at blanks as a memo does, and keeps only
// the first visual row of each line (8 bytes a line) so that appending a
// thousand lines costs the same whether the pane holds a hundred or ten
// million. Lines are selected whole and copied through the context menu.
// A thin rule separates instructions (before each step's heading line), the
// latest heading is drawn bold (a horizontal scroll bar appears when that
// makes it wider than the pane), and Ctrl+F opens a find bar at the bottom,
// which tells which match is selected of how many, or that there is none.
#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "trace_log.h"

class QLabel;
class QLineEdit;
class QToolButton;

class TraceView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TraceView(const kovar::TraceLog& log, QWidget* parent = nullptr);

    // Brings the pane up to the log: new lines are laid out, a cleared log
    // empties the pane, a shortened log (a step undone) drops its last lines.
    // Returns true when lines changed.
    bool sync();
    void scrollToBottom();

    std::size_t lineCount() const { return starts_.size(); }
    QString lineText(std::size_t line) const;
    // Visual rows of all lines, and of one line at the pane's width.
    uint64_t rowCount() const { return totalRows_; }
    int rowsOf(std::size_t line) const;
    // Whether any row of the line lies in the visible part of the pane.
    bool isLineVisible(std::size_t line) const;

    bool hasSelection() const { return anchor_ != kNone; }
    std::size_t selectionFirst() const { return std::min(anchor_, current_); }
    std::size_t selectionLast() const { return std::max(anchor_, current_); }
    void selectLines(std::size_t first, std::size_t last);
    void selectAll();
    // The selected lines, each followed by a line break.
    QString selectedText() const;
    void copy() const;

    // A step's heading line: "PC: <PC field> IR: <word> <bits>".
    static bool isHeading(std::string_view line);
    // The most recent heading line, drawn bold; SIZE_MAX when there is none.
    std::size_t lastHeading() const { return lastHeading_; }

    // The find bar: its text is looked for in every line, case-insensitively.
    QWidget* findBar() const { return findBar_; }
    QLineEdit* findField() const { return findField_; }
    // "3 из 17" after a find that selected the third of 17 matching lines,
    // "не найдено" after one that found none; empty while the text is edited.
    QLabel* findStatus() const { return findStatus_; }
    void openFind();
    void closeFind();
    // Selects the next (or previous) line holding the text, wrapping around;
    // false (and nothing selected) when no line holds it.
    bool findNext(bool backwards = false);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr std::size_t kNone = SIZE_MAX;
    struct Segment {
        int begin; // in UTF-16 units of the line's text
        int end;
    };

    void relayout();
    void updateScrollBar();
    int visibleRows() const;
    int textWidth() const;
    qreal advance(QChar c) const;
    std::vector<Segment> wrap(const QString& text) const;
    int countRows(std::string_view line) const;
    std::size_t lineAtRow(uint64_t row) const;
    std::size_t lineAt(int y) const;
    void moveCurrent(std::size_t line, bool extend);
    void ensureVisible(std::size_t line);
    void findLastHeading(std::size_t from);
    void placeFindBar();
    // The widest row of the bold heading, in pixels.
    int headingWidth();
    // Shows the number of matches of the find text and which of them is
    // selected, or that there is none.
    void showMatches(const QString& text, std::size_t selected);

    const kovar::TraceLog& log_;
    uint64_t generation_ = 0;
    std::vector<uint64_t> starts_; // first visual row of each line
    uint64_t totalRows_ = 0;
    int rowHeight_ = 13;
    int laidOutWidth_ = -1;
    qreal asciiAdvance_[128] = {};
    mutable QHash<QChar, qreal> otherAdvance_;
    std::size_t anchor_ = kNone;
    std::size_t current_ = kNone;
    std::size_t lastHeading_ = kNone;
    QWidget* findBar_ = nullptr;
    QLineEdit* findField_ = nullptr;
    QLabel* findStatus_ = nullptr;
    std::size_t widthOf_ = kNone; // the heading headingWidth_ was measured for
    int headingWidth_ = 0;
};
