// The listing window ("Листинг"): memory shown as instructions, one row per
// word from a chosen start address, the row at PC highlighted and rows with a
// breakpoint marked. It follows every redraw of the main window's memory and
// PC views (through the MachineLink); a double-click on a row toggles the
// breakpoint there.
#pragma once

#include <QAbstractScrollArea>
#include <QRawFont>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "machine_state.h"

class MachineLink;
class QCheckBox;
class QLineEdit;

// The rows, painted straight from the machine: only the visible rows are
// drawn, and a change repaints only the rows that differ.
class ListingView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ListingView(const kovar::MachineState& state, QWidget* parent = nullptr);

    // First row's address (0..1000); rows follow every 4 bytes up to 1000.
    void setStart(uint32_t address);
    uint32_t start() const { return start_; }
    int rowCount() const;
    uint32_t rowAddress(int row) const { return start_ + 4u * static_cast<uint32_t>(row); }
    int rowAt(int y) const; // -1 below the last row
    int firstVisibleRow() const;
    int visibleRows() const;
    int rowHeight() const { return rowHeight_; }
    // Compares every row with what was drawn; repaints the rows that differ.
    // With `followPC`, scrolls the PC row into view when it is out of sight.
    void sync(bool followPC);
    // The text of one row, as painted (address, bytes, instruction).
    QString rowText(int row) const;

signals:
    void rowDoubleClicked(uint32_t address);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    struct Shown {
        uint32_t word = 0;
        uint32_t marks = 0;
        bool pc = false;
        bool operator==(const Shown&) const = default;
    };
    Shown current(int row) const;
    void updateBar();
    // Writes a row's text (ASCII) into `out`, which has room for kRowChars.
    std::size_t rowChars(int row, char* out) const;
    // Draws ASCII text from a table of glyphs prepared once for the font:
    // laying out a string for each row anew costs far more than the Run it
    // follows. Falls back to drawText where the font gives no glyphs.
    void drawAscii(QPainter& p, QPointF origin, const char* text, std::size_t n);

    const kovar::MachineState& st_;
    uint32_t start_ = 0;
    int rowHeight_ = 16;
    std::vector<Shown> shown_;
    QRawFont raw_;
    std::array<quint32, 128> glyph_{};
    std::array<qreal, 128> advance_{};
    bool glyphsReady_ = false;
};

// The listing window.
class ListingWindow : public QWidget {
    Q_OBJECT
public:
    explicit ListingWindow(MachineLink& link, QWidget* parent = nullptr);

    QLineEdit* EditStart; // the first address, hexadecimal
    QCheckBox* FollowPC;  // keep the PC row in view
    ListingView* View;

    // Marks the listing stale; it is brought up to date when next shown, or
    // at once while visible.
    void memoryOrPCShown();
    void EditStartExit();
    void ViewDoubleClick(uint32_t address);

protected:
    void showEvent(QShowEvent* event) override;

private:
    MachineLink& link_;
    bool stale_ = true;
};
