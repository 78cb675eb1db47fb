#include "listing_window.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "assembler.h"
#include "disassembler.h"
#include "isa.h"
#include "machine_link.h"
#include "text_fit.h"
#include "theme.h"
#include "ui_support.h"

namespace {

constexpr uint32_t kLastAddress = kovar::kMemorySize - 1;

QString Hex(uint32_t v, int digits) {
    return QStringLiteral("%1").arg(v, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace

// ---- the rows ----

ListingView::ListingView(const kovar::MachineState& state, const kovar::SourceMap& map,
                         QWidget* parent)
    : QAbstractScrollArea(parent), st_(state), map_(map) {
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(mono);
    rowHeight_ = fontMetrics().height() + 2;
    verticalScrollBar()->setSingleStep(1);
    setFocusPolicy(Qt::StrongFocus);
    buildRows();
    shown_.resize(static_cast<std::size_t>(rowCount()));
    updateBar();
}

int ListingView::rowCount() const {
    return rows_.empty() ? static_cast<int>((kLastAddress - start_) / 4 + 1)
                         : static_cast<int>(rows_.size());
}

int ListingView::rowOf(uint32_t address) const {
    if (address < start_ || address > kLastAddress)
        return -1;
    if (rows_.empty())
        return static_cast<int>((address - start_) / 4);
    // The last row that begins at or before `address`: label rows come
    // before the row of their address, so this is never one of them.
    const auto it = std::upper_bound(rows_.begin(), rows_.end(), address,
                                     [](uint32_t a, const Row& r) { return a < r.address; });
    return static_cast<int>(it - rows_.begin()) - 1;
}

// The rows from the start address to the end of memory, following the
// source map: a row per item (consecutive bytes of one `.byte` line share a
// row, up to 4), the labels of an address before it, and elsewhere rows up
// to the next multiple of 4 from the start, cut short where an item or a
// label begins. Addresses are looked up one by one, by binary search.
void ListingView::buildRows() {
    rows_.clear();
    if (map_.empty())
        return;
    using kovar::AsmItemKind;
    uint32_t a = start_;
    while (a <= kLastAddress) {
        const auto labels = map_.LabelsAt(a);
        for (std::size_t i = 0; i < labels.size() && i <= 0xFFFF; ++i)
            rows_.push_back(Row{a, 0, Kind::Label, static_cast<uint16_t>(i)});
        const kovar::AsmSpan* span = map_.SpanAt(a);
        Row row{a, 1, Kind::Plain, 0};
        if (span != nullptr && span->address == a && span->kind == AsmItemKind::Byte) {
            row.kind = Kind::Byte;
            while (row.size < 4 && a + row.size <= kLastAddress) {
                const kovar::AsmSpan* next = map_.SpanAt(a + row.size);
                if (next == nullptr || next->kind != AsmItemKind::Byte ||
                    next->line != span->line || next->address != a + row.size ||
                    !map_.LabelsAt(a + row.size).empty())
                    break;
                ++row.size;
            }
        } else if (span != nullptr && span->address == a && span->kind != AsmItemKind::Space) {
            row.kind = span->kind == AsmItemKind::Instruction ? Kind::Instruction
                       : span->kind == AsmItemKind::Word      ? Kind::Word
                                                              : Kind::Data;
            row.size = static_cast<uint8_t>(std::min<uint32_t>(span->size, 4));
        } else {
            // Unwritten memory, a skipped range or the rest of an item the
            // start falls into: up to the grid, while the same item goes on.
            if (span != nullptr && span->kind == AsmItemKind::Space)
                row.kind = Kind::Space;
            const uint32_t end = std::min(a + (4 - (a - start_) % 4), kLastAddress + 1);
            while (a + row.size < end && map_.SpanAt(a + row.size) == span &&
                   map_.LabelsAt(a + row.size).empty())
                ++row.size;
        }
        rows_.push_back(row);
        a += row.size;
    }
}

void ListingView::mapChanged() {
    const uint32_t top = rowAddress(firstVisibleRow());
    buildRows();
    shown_.assign(static_cast<std::size_t>(rowCount()), Shown{});
    for (int r = 0; r < rowCount(); ++r)
        shown_[static_cast<std::size_t>(r)] = current(r);
    updateBar();
    // The same address stays on top, with its labels.
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), top,
                                     [](const Row& r, uint32_t a) { return r.address < a; });
    verticalScrollBar()->setValue(rows_.empty() ? rowOf(top)
                                                : static_cast<int>(it - rows_.begin()));
    viewport()->update();
}

void ListingView::setDecimal(bool on) {
    if (decimal_ == on)
        return;
    decimal_ = on;
    viewport()->update();
}

void ListingView::setStart(uint32_t address) {
    start_ = std::min(address, kLastAddress);
    buildRows();
    shown_.assign(static_cast<std::size_t>(rowCount()), Shown{});
    for (int r = 0; r < rowCount(); ++r)
        shown_[static_cast<std::size_t>(r)] = current(r);
    updateBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

int ListingView::firstVisibleRow() const {
    return verticalScrollBar()->value();
}

int ListingView::visibleRows() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

int ListingView::rowAt(int y) const {
    const int row = firstVisibleRow() + y / rowHeight_;
    return row < rowCount() ? row : -1;
}

void ListingView::updateBar() {
    verticalScrollBar()->setRange(0, std::max(0, rowCount() - visibleRows()));
    verticalScrollBar()->setPageStep(visibleRows());
}

ListingView::Shown ListingView::current(int row) const {
    const Row r = layout(row);
    Shown s;
    if (r.kind == Kind::Label)
        return s;
    const uint32_t a = r.address;
    s.word = st_.ReadInstructionWord(a);
    if (r.size < 4)
        s.word &= ~(0xFFFFFFFFu >> (8 * r.size));
    for (uint32_t i = 0; i < r.size; ++i)
        if (kovar::MachineState::InMemory(a + i) && st_.BreakpointMarks[a + i] != 0)
            s.marks |= 1u << i;
    s.pc = static_cast<uint32_t>(st_.PC) == a;
    return s;
}

void ListingView::sync(bool followPC) {
    const int first = firstVisibleRow();
    const int last = first + visibleRows();
    int pcRow = -1;
    for (int r = 0; r < rowCount(); ++r) {
        const Shown now = current(r);
        if (now.pc)
            pcRow = r;
        Shown& was = shown_[static_cast<std::size_t>(r)];
        if (now == was)
            continue;
        was = now;
        if (r >= first && r <= last)
            viewport()->update(0, (r - first) * rowHeight_, viewport()->width(), rowHeight_);
    }
    if (followPC && pcRow >= 0 && (pcRow < first || pcRow >= first + visibleRows()))
        verticalScrollBar()->setValue(std::max(0, pcRow - visibleRows() / 3));
}

namespace {
constexpr std::size_t kRowChars = 8 + 2 + 12 + 1 + kovar::kMaxDisassemblyLength;
// Label names longer than this are cut short (with "...") in the rows.
constexpr std::size_t kNameChars = 120;
static_assert(std::string_view("BRANCH_C ").size() + kNameChars + 3 <=
              kovar::kMaxDisassemblyLength);

char* Put(char* p, std::string_view s) {
    return std::copy(s.begin(), s.end(), p);
}
char* PutName(char* p, std::string_view name) {
    if (name.size() <= kNameChars)
        return Put(p, name);
    return Put(Put(p, name.substr(0, kNameChars)), "...");
}
char* PutDecimal(char* p, uint32_t value, bool negative) {
    if (negative) {
        *p++ = '-';
        value = 0u - value; // the magnitude, also of the most negative value
    }
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

} // namespace

std::size_t ListingView::rowChars(int row, char* out) const {
    static constexpr char digits[] = "0123456789ABCDEF";
    const Row r = layout(row);
    const uint32_t a = r.address;
    char* p = out;
    if (r.kind == Kind::Label) {
        p = PutName(p, map_.LabelsAt(a)[r.label].name);
        *p++ = ':';
        return static_cast<std::size_t>(p - out);
    }
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = digits[(a >> shift) & 15];
    *p++ = ' ';
    *p++ = ' ';
    for (uint32_t i = 0; i < 4; ++i) {
        const bool in = kovar::MachineState::InMemory(a + i);
        const uint8_t byte = in ? st_.Memory[a + i] : 0;
        const bool blank = i >= r.size; // a short row
        *p++ = blank ? ' ' : in ? digits[byte >> 4] : '-';
        *p++ = blank ? ' ' : in ? digits[byte & 15] : '-';
        *p++ = ' ';
    }
    *p++ = ' ';
    switch (r.kind) {
    case Kind::Word:
    case Kind::Data: {
        const uint32_t v = r.kind == Kind::Word ? st_.ReadInstructionWord(a) : st_.ReadDataWord(a);
        p = Put(p, r.kind == Kind::Word ? ".word " : ".data ");
        p = PutDecimal(p, v, decimal_ && (v >> 31) != 0);
        break;
    }
    case Kind::Byte:
        p = Put(p, ".byte ");
        for (uint32_t i = 0; i < r.size; ++i) {
            if (i > 0)
                p = Put(p, ", ");
            const uint8_t b = st_.ReadByte(a + i);
            p = PutDecimal(p, decimal_ && b >= 0x80 ? 0xFFFFFF00u | b : b, decimal_ && b >= 0x80);
        }
        break;
    case Kind::Space: p = Put(p, ".space"); break;
    case Kind::Plain:
        if (r.size < 4) { // cut short before an item: not an instruction
            p = Put(p, ".byte ");
            for (uint32_t i = 0; i < r.size; ++i) {
                if (i > 0)
                    p = Put(p, ", ");
                const uint8_t b = st_.ReadByte(a + i);
                *p++ = '0';
                *p++ = 'x';
                *p++ = digits[b >> 4];
                *p++ = digits[b & 15];
            }
            break;
        }
        p += kovar::DisassembleTo(st_.ReadInstructionWord(a), p);
        break;
    default: {
        // An instruction: a branch or a call to a labelled address names
        // the label instead of the number, as the source would.
        const uint32_t word = st_.ReadInstructionWord(a);
        const unsigned cls = word >> 29;
        const bool jump =
            word != kovar::isa::kHaltWord &&
            (cls == kovar::isa::Call || cls == kovar::isa::Branch || cls == kovar::isa::BranchC);
        const auto labels =
            jump ? map_.LabelsAt(word & 0x1FFFFFFFu) : std::span<const kovar::AsmLabel>();
        char* text = p;
        p += kovar::DisassembleTo(word, p);
        if (!labels.empty())
            p = PutName(std::find(text, p, ' ') + 1, labels.front().name);
        break;
    }
    }
    return static_cast<std::size_t>(p - out);
}

QString ListingView::rowText(int row) const {
    char buf[kRowChars];
    return QString::fromLatin1(buf, static_cast<qsizetype>(rowChars(row, buf)));
}

void ListingView::drawAscii(QPainter& p, QPointF origin, const char* text, std::size_t n) {
    if (!glyphsReady_) {
        glyphsReady_ = true;
        raw_ = QRawFont::fromFont(font());
        for (int c = 32; c < 127; ++c) {
            const QList<quint32> g =
                raw_.isValid() ? raw_.glyphIndexesForString(QString(QChar(c))) : QList<quint32>();
            if (g.size() != 1 || (g[0] == 0 && c != ' ')) {
                raw_ = QRawFont(); // a glyph is missing: draw strings instead
                break;
            }
            glyph_[c] = g[0];
            advance_[c] = raw_.advancesForGlyphIndexes(g).value(0).x();
        }
    }
    if (!raw_.isValid()) {
        p.drawText(origin, QString::fromLatin1(text, static_cast<qsizetype>(n)));
        return;
    }
    QList<quint32> glyphs(static_cast<qsizetype>(n));
    QList<QPointF> positions(static_cast<qsizetype>(n));
    qreal x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]) & 127u;
        glyphs[static_cast<qsizetype>(i)] = glyph_[c];
        positions[static_cast<qsizetype>(i)] = QPointF(x, 0);
        x += advance_[c];
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    p.drawGlyphRun(origin, run);
}

void ListingView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect area = event->rect();
    p.fillRect(area, palette().base());
    const int first = firstVisibleRow();
    const int width = viewport()->width();
    const int markWidth = rowHeight_;
    const int ascent = fontMetrics().ascent();
    const QColor text = palette().text().color();
    const kovar::ui::Theme theme = kovar::ui::ThemeOf(this);
    const QColor& faint = theme.faint;
    const QColor& red = theme.listingMark;
    for (int i = area.top() / rowHeight_; i <= area.bottom() / rowHeight_; ++i) {
        const int row = first + i;
        const int y = i * rowHeight_;
        if (row >= rowCount())
            break;
        const Shown now = current(row);
        if (now.pc)
            p.fillRect(0, y, width, rowHeight_, theme.pcRow);
        if (now.marks != 0) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(red);
            const int d = rowHeight_ - 6;
            if (now.marks & 1u)
                p.drawEllipse(3, y + 3, d, d);
            else
                p.drawRect(markWidth / 2 - 1, y + 3, 3, d); // a mark inside the word
            p.setRenderHint(QPainter::Antialiasing, false);
        }
        // Empty words are drawn faintly so that the program stands out.
        p.setPen((now.marks & 1u) ? red : now.word == 0 && !isLabelRow(row) ? faint : text);
        char buf[kRowChars];
        drawAscii(p, QPointF(markWidth + 2, y + 1 + ascent), buf, rowChars(row, buf));
    }
}

void ListingView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        glyphsReady_ = false; // the glyph table belongs to the old font
    QAbstractScrollArea::changeEvent(event);
}

void ListingView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateBar();
}

void ListingView::scrollContentsBy(int, int) {
    viewport()->update();
}

void ListingView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0)
        emit rowDoubleClicked(rowAddress(row));
}

// ---- the window ----

ListingWindow::ListingWindow(MachineLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link) {
    setWindowTitle(QStringLiteral("Листинг"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Начало:"), this));
    EditStart = new QLineEdit(QStringLiteral("00000000"), this);
    EditStart->setMaxLength(8);
    EditStart->setFixedWidth(
        EditStart->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 12);
    EditStart->setToolTip(QStringLiteral("Адрес первой строки (шестнадцатеричный, 0..3E8)"));
    kovar::ui::FitText(EditStart);
    top->addWidget(EditStart);
    FollowPC = new QCheckBox(QStringLiteral("Следовать за PC"), this);
    FollowPC->setChecked(true);
    top->addWidget(FollowPC);
    top->addStretch();
    layout->addLayout(top);
    View = new ListingView(link.machine(), link.sourceMap(), this);
    View->setToolTip(QStringLiteral("Двойной щелчок: точка останова"));
    layout->addWidget(View);
    resize(520, 480);

    connect(EditStart, &QLineEdit::returnPressed, this, &ListingWindow::EditStartExit);
    kovar::ui::OnFocusExit(EditStart, [this] { EditStartExit(); });
    connect(View, &ListingView::rowDoubleClicked, this, &ListingWindow::ViewDoubleClick);
    connect(FollowPC, &QCheckBox::toggled, this, [this](bool on) {
        if (on && isVisible())
            View->sync(true);
    });
    connect(&link, &MachineLink::shown, this, &ListingWindow::memoryOrPCShown);
    connect(&link, &MachineLink::sourceMapChanged, this, [this] {
        View->mapChanged();
        memoryOrPCShown();
    });
    // Steps and Runs are followed through `shown`, which comes after every
    // command; edits and New (rare) also directly.
    for (auto changed : {&MachineLink::edited, &MachineLink::replaced})
        connect(&link, changed, this, &ListingWindow::memoryOrPCShown);
}

void ListingWindow::setDecimal(bool on) {
    View->setDecimal(on);
}

void ListingWindow::memoryOrPCShown() {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    View->sync(FollowPC->isChecked());
}

void ListingWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) {
        stale_ = false;
        View->sync(FollowPC->isChecked());
    }
}

void ListingWindow::EditStartExit() {
    bool ok = false;
    const uint32_t value = EditStart->text().trimmed().toUInt(&ok, 16);
    const uint32_t address = ok ? std::min<uint32_t>(value, kLastAddress) : View->start();
    EditStart->setText(Hex(address, 8));
    if (address != View->start())
        View->setStart(address);
}

void ListingWindow::ViewDoubleClick(uint32_t address) {
    link_.toggleBreakpoint(address); // as a double-click on an address label
}
