// The listing window ("Листинг"): memory shown as instructions, one row per
// word from a chosen start address, the row at PC highlighted and rows with a
// breakpoint marked. It follows every redraw of the main window's memory and
// PC views (through the MachineLink); a double-click on a row toggles the
// breakpoint there.
//
// While the source map of the last assembly is kept, the rows follow the
// source: each label gets a row of its own before its address, the words and
// bytes of `.data`, `.word`, `.byte` and `.space` are shown as those
// directives with their values, and branch and call targets that a label
// stands for are written as the label. Memory that no item laid down keeps
// 4-byte rows on the start address's grid, cut short before the next item.
#pragma once

#include <QAbstractScrollArea>
#include <QRawFont>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "machine_state.h"

namespace kovar {
class SourceMap;
}

class MachineLink;
class QCheckBox;
class QLineEdit;

// The rows, painted straight from the machine: only the visible rows are
// drawn, and a change repaints only the rows that differ.
class ListingView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // `map` (which outlives the view) lays the rows out while it is not empty.
    ListingView(const kovar::MachineState& state, const kovar::SourceMap& map,
                QWidget* parent = nullptr);

    // First row's address (0..1000); rows follow every 4 bytes up to 1000,
    // or as the source map lays them out.
    void setStart(uint32_t address);
    uint32_t start() const { return start_; }
    // Lays the rows out anew from the source map (call when it changed).
    void mapChanged();
    // Data values as signed decimal numbers instead of unsigned ones.
    void setDecimal(bool on);
    int rowCount() const;
    // The address a row shows; a label row gives the address of its label.
    uint32_t rowAddress(int row) const { return layout(row).address; }
    bool isLabelRow(int row) const { return layout(row).kind == Kind::Label; }
    // The row that shows the byte at `address` (never a label row); -1 when
    // no row does.
    int rowOf(uint32_t address) const;
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
    // What a row shows: a word as an instruction (Plain: no item of the map
    // laid it down), an item of the map, or a label.
    enum class Kind : uint8_t { Plain, Instruction, Word, Data, Byte, Space, Label };
    struct Row {
        uint32_t address = 0;
        uint8_t size = 4; // bytes, 1..4; 0 for a label
        Kind kind = Kind::Plain;
        uint16_t label = 0; // which of the labels at `address`
    };
    Row layout(int row) const {
        if (rows_.empty())
            return Row{start_ + 4u * static_cast<uint32_t>(row), 4, Kind::Plain, 0};
        return rows_[static_cast<std::size_t>(row)];
    }
    void buildRows();
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
    const kovar::SourceMap& map_;
    std::vector<Row> rows_; // empty without a source map: rows of 4 bytes
    bool decimal_ = false;
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
    // Data values as signed decimal numbers (off: unsigned decimal).
    void setDecimal(bool on);

protected:
    void showEvent(QShowEvent* event) override;

private:
    MachineLink& link_;
    bool stale_ = true;
};
