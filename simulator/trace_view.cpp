#include "trace_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <string>

#include "theme.h"
#include "ui_support.h"

namespace {
constexpr int kMargin = 3;
constexpr std::string_view kHeadingStart = "PC: ";
constexpr std::string_view kHeadingIR = " IR: ";

// A find text prepared once for a walk over every line: plain ASCII (what
// the trace holds) is looked for in the log's bytes without making a
// QString of each line.
class Needle {
public:
    explicit Needle(const QString& text) : text_(text) {
        for (const QChar c : text) {
            if (c.unicode() >= 128) {
                ascii_ = false;
                return;
            }
            lower_ += static_cast<char>(c.toLower().unicode());
        }
    }
    bool foundIn(std::string_view line) const {
        if (!ascii_)
            return kovar::ui::Q(line).contains(text_, Qt::CaseInsensitive);
        const auto lower = [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        };
        return std::search(line.begin(), line.end(), lower_.begin(), lower_.end(), lower) !=
               line.end();
    }

private:
    QString text_;
    std::string lower_;
    bool ascii_ = true;
};
} // namespace

bool TraceView::isHeading(std::string_view line) {
    return line.starts_with(kHeadingStart) && line.find(kHeadingIR) != std::string_view::npos;
}

TraceView::TraceView(const kovar::TraceLog& log, QWidget* parent)
    : QAbstractScrollArea(parent), log_(log), generation_(log.generation()) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Rows are wrapped to the pane; only the bold heading can be wider.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);

    findBar_ = new QFrame(this);
    static_cast<QFrame*>(findBar_)->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    findBar_->setAutoFillBackground(true);
    findField_ = new QLineEdit(findBar_);
    findField_->setPlaceholderText(QStringLiteral("Найти"));
    findField_->setToolTip(QStringLiteral("Enter — следующее, Shift+Enter — предыдущее, "
                                          "Esc — закрыть"));
    const auto tool = [this](Qt::ArrowType arrow, const QString& hint) {
        auto* b = new QToolButton(findBar_);
        b->setArrowType(arrow);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        return b;
    };
    QToolButton* previous = tool(Qt::UpArrow, QStringLiteral("Предыдущее (Shift+Enter)"));
    QToolButton* next = tool(Qt::DownArrow, QStringLiteral("Следующее (Enter)"));
    auto* close = new QToolButton(findBar_);
    close->setText(QStringLiteral("×"));
    close->setToolTip(QStringLiteral("Закрыть (Esc)"));
    close->setAutoRaise(true);
    findStatus_ = new QLabel(findBar_);
    auto* row = new QHBoxLayout(findBar_);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(1);
    row->addWidget(findField_, 1);
    row->addWidget(findStatus_);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(close);
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(close, &QToolButton::clicked, this, &TraceView::closeFind);
    connect(findField_, &QLineEdit::textChanged, viewport(), [this] {
        findStatus_->clear();
        viewport()->update();
    });
    findField_->installEventFilter(this);
    findBar_->hide();

    relayout();
}

// ---- find ----

void TraceView::placeFindBar() {
    const int h = findBar_->sizeHint().height();
    const QRect area = viewport()->geometry();
    findBar_->setGeometry(area.left(), area.bottom() + 1, area.width(), h);
}

void TraceView::openFind() {
    if (findBar_->isHidden()) {
        setViewportMargins(0, 0, 0, findBar_->sizeHint().height());
        findBar_->show();
        placeFindBar();
    }
    findField_->selectAll();
    findField_->setFocus(Qt::ShortcutFocusReason);
}

void TraceView::closeFind() {
    if (findBar_->isHidden())
        return;
    findBar_->hide();
    setViewportMargins(0, 0, 0, 0);
    setFocus(Qt::OtherFocusReason);
    viewport()->update();
}

bool TraceView::findNext(bool backwards) {
    const QString text = findField_->text();
    const std::size_t n = starts_.size();
    if (text.isEmpty()) {
        findStatus_->clear();
        return false;
    }
    const Needle needle(text);
    std::size_t at = current_ == kNone ? (backwards ? 0 : n - 1) : current_;
    for (std::size_t k = 0; k < n; ++k) {
        at = backwards ? (at == 0 ? n - 1 : at - 1) : (at + 1 == n ? 0 : at + 1);
        if (needle.foundIn(log_.line(at))) {
            anchor_ = current_ = at;
            ensureVisible(at);
            viewport()->update();
            showMatches(text, at);
            return true;
        }
    }
    // No line holds the text: the line an earlier find selected goes too.
    anchor_ = current_ = kNone;
    viewport()->update();
    showMatches(text, kNone);
    return false;
}

void TraceView::showMatches(const QString& text, std::size_t selected) {
    if (selected == kNone) {
        findStatus_->setText(QStringLiteral("не найдено"));
        return;
    }
    const Needle needle(text);
    std::size_t total = 0;
    std::size_t rank = 0;
    for (std::size_t i = 0; i < starts_.size(); ++i)
        if (needle.foundIn(log_.line(i))) {
            ++total;
            rank += i <= selected ? 1 : 0;
        }
    findStatus_->setText(QStringLiteral("%1 из %2").arg(rank).arg(total));
}

bool TraceView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == findField_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeFind();
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

// ---- layout ----

int TraceView::textWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

int TraceView::visibleRows() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

qreal TraceView::advance(QChar c) const {
    const ushort u = c.unicode();
    if (u < 128)
        return asciiAdvance_[u];
    auto it = otherAdvance_.constFind(c);
    if (it == otherAdvance_.constEnd())
        it = otherAdvance_.insert(c, QFontMetricsF(font()).horizontalAdvance(c));
    return it.value();
}

// Breaks a line into rows that fit the pane: at the last blank that fits,
// or inside a word that is wider than the pane by itself.
std::vector<TraceView::Segment> TraceView::wrap(const QString& text) const {
    std::vector<Segment> rows;
    const qreal width = textWidth();
    const int n = static_cast<int>(text.size());
    int pos = 0;
    while (true) {
        qreal used = 0;
        int lastBlank = -1;
        int i = pos;
        while (i < n) {
            const qreal a = advance(text[i]);
            if (used + a > width)
                break;
            if (text[i] == QLatin1Char(' '))
                lastBlank = i;
            used += a;
            ++i;
        }
        if (i >= n) {
            rows.push_back({pos, n});
            return rows;
        }
        if (lastBlank > pos) {
            rows.push_back({pos, lastBlank});
            pos = lastBlank + 1;
        } else if (i == pos) {
            rows.push_back({pos, pos + 1});
            ++pos;
        } else {
            rows.push_back({pos, i});
            pos = i;
        }
    }
}

int TraceView::countRows(std::string_view line) const {
    // Plain ASCII lines (nearly all of them) are measured without a QString.
    bool ascii = true;
    qreal total = 0;
    for (char ch : line) {
        const auto u = static_cast<unsigned char>(ch);
        if (u >= 128) {
            ascii = false;
            break;
        }
        total += asciiAdvance_[u];
    }
    if (ascii && total <= textWidth())
        return 1;
    return static_cast<int>(wrap(kovar::ui::Q(line)).size());
}

int TraceView::rowsOf(std::size_t line) const {
    const uint64_t end = line + 1 < starts_.size() ? starts_[line + 1] : totalRows_;
    return static_cast<int>(end - starts_[line]);
}

void TraceView::relayout() {
    const QFontMetricsF metrics(font());
    rowHeight_ = std::max(1, qCeil(metrics.height()));
    for (int c = 0; c < 128; ++c)
        asciiAdvance_[c] = metrics.horizontalAdvance(QChar(c));
    otherAdvance_.clear();
    widthOf_ = kNone;
    laidOutWidth_ = viewport()->width();
    starts_.clear();
    totalRows_ = 0;
    lastHeading_ = kNone;
    generation_ = log_.generation();
    if (anchor_ != kNone && anchor_ >= log_.size())
        anchor_ = current_ = kNone;
    sync();
    updateScrollBar();
    viewport()->update();
}

bool TraceView::sync() {
    bool changed = false;
    if (generation_ != log_.generation()) {
        generation_ = log_.generation();
        lastHeading_ = kNone;
        widthOf_ = kNone;
        starts_.clear();
        totalRows_ = 0;
        anchor_ = current_ = kNone;
        verticalScrollBar()->setValue(0);
        changed = true;
    }
    const std::size_t lines = log_.size();
    changed = changed || starts_.size() != lines;
    if (lines < starts_.size()) {
        widthOf_ = kNone;
        totalRows_ = starts_[lines];
        starts_.resize(lines);
        if (anchor_ != kNone && (anchor_ >= lines || current_ >= lines))
            anchor_ = current_ = kNone;
        findLastHeading(lines);
    }
    starts_.reserve(lines);
    for (std::size_t i = starts_.size(); i < lines; ++i) {
        const std::string_view text = log_.line(i);
        starts_.push_back(totalRows_);
        totalRows_ += static_cast<uint64_t>(countRows(text));
        if (isHeading(text))
            lastHeading_ = i;
    }
    if (changed)
        findStatus_->clear(); // the count may be out of date
    updateScrollBar();
    viewport()->update();
    return changed;
}

// The latest heading among the first `end` lines.
void TraceView::findLastHeading(std::size_t end) {
    lastHeading_ = kNone;
    for (std::size_t i = end; i-- > 0;)
        if (isHeading(log_.line(i))) {
            lastHeading_ = i;
            return;
        }
}

int TraceView::headingWidth() {
    if (lastHeading_ == kNone)
        return 0;
    if (widthOf_ != lastHeading_) {
        QFont bold = font();
        bold.setBold(true);
        const QFontMetricsF metrics(bold);
        const QString text = lineText(lastHeading_);
        qreal widest = 0;
        for (const Segment& row : wrap(text))
            widest = std::max(widest,
                              metrics.horizontalAdvance(text.mid(row.begin, row.end - row.begin)));
        headingWidth_ = qCeil(widest);
        widthOf_ = lastHeading_;
    }
    return headingWidth_;
}

void TraceView::updateScrollBar() {
    const uint64_t visible = static_cast<uint64_t>(visibleRows());
    const uint64_t maxFirst = totalRows_ > visible ? totalRows_ - visible : 0;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(std::min<uint64_t>(maxFirst, INT_MAX)));
    bar->setPageStep(visibleRows());
    bar->setSingleStep(1);
    QScrollBar* across = horizontalScrollBar();
    const int width = viewport()->width();
    across->setRange(0, std::max(0, 2 * kMargin + headingWidth() - width));
    across->setPageStep(width);
    across->setSingleStep(std::max(1, rowHeight_));
}

void TraceView::scrollToBottom() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::size_t TraceView::lineAtRow(uint64_t row) const {
    if (starts_.empty())
        return kNone;
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), row);
    return static_cast<std::size_t>(std::distance(starts_.begin(), it)) - 1;
}

std::size_t TraceView::lineAt(int y) const {
    if (starts_.empty())
        return kNone;
    const int64_t row =
        static_cast<int64_t>(verticalScrollBar()->value()) + (y < 0 ? -1 : y / rowHeight_);
    if (row < 0)
        return 0;
    if (static_cast<uint64_t>(row) >= totalRows_)
        return starts_.size() - 1;
    return lineAtRow(static_cast<uint64_t>(row));
}

bool TraceView::isLineVisible(std::size_t line) const {
    if (line >= starts_.size())
        return false;
    const uint64_t first = static_cast<uint64_t>(verticalScrollBar()->value());
    const uint64_t last = first + static_cast<uint64_t>(visibleRows());
    const uint64_t begin = starts_[line];
    const uint64_t end = begin + static_cast<uint64_t>(rowsOf(line));
    return begin < last && end > first;
}

QString TraceView::lineText(std::size_t line) const {
    return line < starts_.size() ? kovar::ui::Q(log_.line(line)) : QString();
}

// ---- painting ----

void TraceView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    if (starts_.empty())
        return;
    const uint64_t first = static_cast<uint64_t>(verticalScrollBar()->value());
    std::size_t line = lineAtRow(first);
    int skip = static_cast<int>(first - starts_[line]);
    const int rows = visibleRows() + 1;
    const QPalette& pal = palette();
    const QFont normal = font();
    QFont bold = normal;
    bold.setBold(true);
    const QFontMetrics metrics(normal);
    const QString needle = findBar_->isVisible() ? findField_->text() : QString();
    const kovar::ui::Theme theme = kovar::ui::ThemeFor(pal);
    const QColor& match = theme.findMatch;
    const QColor& rule = theme.traceRule;
    const int left = kMargin - horizontalScrollBar()->value();
    int y = 0;
    for (int drawn = 0; drawn < rows && line < starts_.size(); ++line) {
        const std::string_view raw = log_.line(line);
        const QString text = kovar::ui::Q(raw);
        const std::vector<Segment> segments = wrap(text);
        const bool selected = hasSelection() && line >= selectionFirst() && line <= selectionLast();
        const bool heading = isHeading(raw);
        if (heading && line > 0 && skip == 0) {
            p.setPen(rule);
            p.drawLine(0, y, viewport()->width(), y);
        }
        p.setFont(line == lastHeading_ ? bold : normal);
        const bool found = !needle.isEmpty() && text.contains(needle, Qt::CaseInsensitive);
        for (std::size_t s = static_cast<std::size_t>(skip); s < segments.size() && drawn < rows;
             ++s, ++drawn) {
            const QRect row(0, y, viewport()->width(), rowHeight_);
            const QString part = text.mid(segments[s].begin, segments[s].end - segments[s].begin);
            if (selected)
                p.fillRect(row, pal.brush(hasFocus() || findField_->hasFocus() ? QPalette::Active
                                                                               : QPalette::Inactive,
                                          QPalette::Highlight));
            if (found) {
                // Marks every occurrence inside this row.
                const QFontMetrics m(p.font());
                for (qsizetype at = part.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
                     at = part.indexOf(needle, at + 1, Qt::CaseInsensitive)) {
                    const int x = left + m.horizontalAdvance(part.left(at));
                    p.fillRect(
                        QRect(x, y, m.horizontalAdvance(part.mid(at, needle.size())), rowHeight_),
                        match);
                }
            }
            p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
            p.drawText(left, y + metrics.ascent(), part);
            y += rowHeight_;
        }
        skip = 0;
    }
}

void TraceView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (findBar_->isVisible())
        placeFindBar();
    if (viewport()->width() != laidOutWidth_)
        relayout();
    else
        updateScrollBar();
}

void TraceView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

// ---- selection ----

void TraceView::selectLines(std::size_t first, std::size_t last) {
    if (starts_.empty() || first >= starts_.size())
        return;
    anchor_ = first;
    current_ = std::min(last, starts_.size() - 1);
    viewport()->update();
}

void TraceView::selectAll() {
    if (!starts_.empty())
        selectLines(0, starts_.size() - 1);
}

QString TraceView::selectedText() const {
    QString text;
    if (!hasSelection())
        return text;
    for (std::size_t i = selectionFirst(); i <= selectionLast() && i < starts_.size(); ++i) {
        text += lineText(i);
        text += QLatin1Char('\n');
    }
    return text;
}

void TraceView::copy() const {
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TraceView::moveCurrent(std::size_t line, bool extend) {
    if (starts_.empty())
        return;
    line = std::min(line, starts_.size() - 1);
    if (!extend || anchor_ == kNone)
        anchor_ = line;
    current_ = line;
    ensureVisible(line);
    viewport()->update();
}

void TraceView::ensureVisible(std::size_t line) {
    if (line >= starts_.size() || isLineVisible(line))
        return;
    QScrollBar* bar = verticalScrollBar();
    const uint64_t begin = starts_[line];
    if (begin < static_cast<uint64_t>(bar->value()))
        bar->setValue(static_cast<int>(std::min<uint64_t>(begin, INT_MAX)));
    else {
        const uint64_t end = begin + static_cast<uint64_t>(rowsOf(line));
        const uint64_t visible = static_cast<uint64_t>(visibleRows());
        bar->setValue(
            static_cast<int>(std::min<uint64_t>(end > visible ? end - visible : 0, INT_MAX)));
    }
}

void TraceView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !starts_.empty())
        moveCurrent(lineAt(event->position().toPoint().y()),
                    event->modifiers() & Qt::ShiftModifier);
    QAbstractScrollArea::mousePressEvent(event);
}

void TraceView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && !starts_.empty()) {
        const int y = event->position().toPoint().y();
        QScrollBar* bar = verticalScrollBar();
        if (y < 0)
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (y >= viewport()->height())
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        moveCurrent(lineAt(y), true);
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TraceView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Find)) {
        openFind();
        return;
    }
    if (event->key() == Qt::Key_Escape && findBar_->isVisible()) {
        closeFind();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (starts_.empty())
        return QAbstractScrollArea::keyPressEvent(event);
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const std::size_t last = starts_.size() - 1;
    const std::size_t at = current_ == kNone ? lineAt(0) : current_;
    const std::size_t page = static_cast<std::size_t>(visibleRows());
    switch (event->key()) {
    case Qt::Key_Up: moveCurrent(at == 0 ? 0 : at - 1, extend); break;
    case Qt::Key_Down: moveCurrent(std::min(at + 1, last), extend); break;
    case Qt::Key_PageUp: moveCurrent(at > page ? at - page : 0, extend); break;
    case Qt::Key_PageDown: moveCurrent(std::min(at + page, last), extend); break;
    case Qt::Key_Home: moveCurrent(0, extend); break;
    case Qt::Key_End: moveCurrent(last, extend); break;
    default: QAbstractScrollArea::keyPressEvent(event); break;
    }
}
