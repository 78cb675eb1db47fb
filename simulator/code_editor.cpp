#include "code_editor.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolTip>
#include <algorithm>
#include <optional>

#include "asm_names.h"
#include "isa.h"
#include "theme.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

// ---- colouring ----

class AsmHighlighter : public QSyntaxHighlighter {
public:
    AsmHighlighter(QTextDocument* document, const kovar::ui::Theme& theme)
        : QSyntaxHighlighter(document) {
        comment_.setFontItalic(true);
        label_.setFontWeight(QFont::Bold);
        instruction_.setFontWeight(QFont::Bold);
        directive_.setFontWeight(QFont::Bold);
        setTheme(theme);
    }

    // Takes the colours of a theme; the text is coloured anew when they differ.
    void setTheme(const kovar::ui::Theme& theme) {
        if (comment_.foreground().color() == theme.comment &&
            label_.foreground().color() == theme.label &&
            instruction_.foreground().color() == theme.instruction &&
            directive_.foreground().color() == theme.directive &&
            number_.foreground().color() == theme.number &&
            quoted_.foreground().color() == theme.quoted &&
            register_.foreground().color() == theme.registerName)
            return;
        comment_.setForeground(theme.comment);
        label_.setForeground(theme.label);
        instruction_.setForeground(theme.instruction);
        directive_.setForeground(theme.directive);
        number_.setForeground(theme.number);
        quoted_.setForeground(theme.quoted);
        register_.setForeground(theme.registerName);
        rehighlight();
    }

protected:
    void highlightBlock(const QString& text) override {
        // The comment begins at the first ';' outside quotes.
        int end = static_cast<int>(text.size());
        bool inQuote = false;
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('"'))
                inQuote = !inQuote;
            else if (text[i] == QLatin1Char(';') && !inQuote) {
                end = i;
                setFormat(i, static_cast<int>(text.size()) - i, comment_);
                break;
            }
        }
        static const QRegularExpression word(
            QStringLiteral(R"(\.?[A-Za-z_0-9][A-Za-z_0-9.]*|"[^"]*"?)"));
        bool first = true;
        for (auto it = word.globalMatch(text.left(end)); it.hasNext();) {
            const auto m = it.next();
            const QString w = m.captured();
            const int at = static_cast<int>(m.capturedStart());
            const int len = static_cast<int>(m.capturedLength());
            const bool isLabel =
                at + len < end && text.mid(at + len).trimmed().startsWith(QLatin1Char(':'));
            if (w.startsWith(QLatin1Char('"')))
                setFormat(at, len, quoted_);
            else if (isLabel)
                setFormat(at, len, label_);
            else if (first && w.startsWith(QLatin1Char('.')))
                setFormat(at, len, directive_);
            else if (first && isInstruction(w))
                setFormat(at, len, instruction_);
            else if (w[0].isDigit())
                setFormat(at, len, number_);
            else if (registerPlace(text, at)) {
                unsigned code = 0;
                if (kovar::asmnames::LookupName(kovar::asmnames::Field::Register, S(w), false,
                                                code))
                    setFormat(at, len, register_);
            }
            if (!isLabel)
                first = false;
        }
    }

private:
    // Registers are the first two operands, or the values of a= and b=.
    static bool registerPlace(const QString& text, int at) {
        int commas = 0;
        for (int i = 0; i < at; ++i)
            commas += text[i] == QLatin1Char(',');
        return commas < 2 || text.left(at).trimmed().endsWith(QLatin1Char('='));
    }
    static bool isInstruction(const QString& w) {
        const std::string s = S(w);
        if (kovar::asmnames::SameWord(s, "halt"))
            return true;
        for (const auto& c : kovar::isa::kCommands)
            if (kovar::asmnames::SameWord(s, c.name))
                return true;
        return false;
    }
    QTextCharFormat comment_, label_, instruction_, directive_, number_, quoted_, register_;
};

namespace {

class LineNumberArea : public QWidget {
public:
    explicit LineNumberArea(CodeEditor* editor) : QWidget(editor), editor_(editor) {}
    QSize sizeHint() const override { return {editor_->lineNumberWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { editor_->paintLineNumbers(event); }
    void mousePressEvent(QMouseEvent* event) override {
        const int line = editor_->lineAtY(qRound(event->position().y()));
        if (event->button() == Qt::LeftButton && line > 0)
            emit editor_->gutterClicked(line);
    }
    bool event(QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return QWidget::event(event);
        // An error marker tells its message.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString message = editor_->errorOfLine(editor_->lineAtY(help->pos().y()));
        if (message.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), message, this);
        }
        return true;
    }

private:
    CodeEditor* editor_;
};

} // namespace

// ---- the editor ----

CodeEditor::CodeEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabStopDistance(fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    lineNumbers_ = new LineNumberArea(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this,
            [this] { setViewportMargins(lineNumberWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0)
            lineNumbers_->scroll(0, dy);
        else
            lineNumbers_->update(0, rect.y(), lineNumbers_->width(), rect.height());
    });
    setViewportMargins(lineNumberWidth(), 0, 0, 0);
    highlighter_ = new AsmHighlighter(document(), kovar::ui::ThemeOf(this));
    connect(document(), &QTextDocument::contentsChange, this, [this] {
        if (!errors_.empty())
            dropEditedErrors();
    });
}

void CodeEditor::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (kovar::ui::IsPaletteChange(event)) {
        highlighter_->setTheme(kovar::ui::ThemeOf(this));
        updateExtraSelections();
        lineNumbers_->update();
    }
}

int CodeEditor::markColumnWidth() const {
    return fontMetrics().height();
}

int CodeEditor::lineNumberWidth() const {
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    return markColumnWidth() + 8 +
           fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(3, digits);
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    lineNumbers_->setGeometry(r.left(), r.top(), lineNumberWidth(), r.height());
}

void CodeEditor::paintLineNumbers(QPaintEvent* event) {
    QPainter p(lineNumbers_);
    const kovar::ui::Theme theme = kovar::ui::ThemeOf(this);
    p.fillRect(event->rect(), theme.gutter);
    p.setPen(theme.gutterText);
    // The few marked and rejected lines, by their place now.
    std::vector<int> marks, errors;
    for (const QTextCursor& c : marked_)
        marks.push_back(c.blockNumber());
    for (const ErrorMark& e : errors_)
        errors.push_back(e.at.blockNumber());
    std::sort(marks.begin(), marks.end());
    std::sort(errors.begin(), errors.end());
    const int lineHeight = fontMetrics().height();
    const int size = std::max(4, std::min(markColumnWidth(), lineHeight) - 6);
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top()) {
            p.drawText(0, top, lineNumbers_->width() - 4, lineHeight, Qt::AlignRight,
                       QString::number(block.blockNumber() + 1));
            const QRect box((markColumnWidth() - size) / 2, top + (lineHeight - size) / 2, size,
                            size);
            if (std::binary_search(errors.begin(), errors.end(), block.blockNumber())) {
                // A cross: an error marker, never taken for a breakpoint.
                p.save();
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(QPen(theme.sourceError, 2.5, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(box.topLeft(), box.bottomRight());
                p.drawLine(box.topRight(), box.bottomLeft());
                p.restore();
            } else if (std::binary_search(marks.begin(), marks.end(), block.blockNumber())) {
                p.save();
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(Qt::NoPen);
                p.setBrush(theme.listingMark);
                p.drawEllipse(box);
                p.restore();
            }
        }
        block = block.next();
        top += height;
    }
}

int CodeEditor::lineAtY(int y) const {
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= y) {
        const int height = qRound(blockBoundingRect(block).height());
        if (y < top + height)
            return block.blockNumber() + 1;
        block = block.next();
        top += height;
    }
    return 0;
}

QRect CodeEditor::gutterLineRect(int line) const {
    const QTextBlock block = document()->findBlockByNumber(line - 1);
    if (!block.isValid() || line < 1)
        return {};
    const QRect r = blockBoundingGeometry(block).translated(contentOffset()).toAlignedRect();
    return QRect(0, r.top(), lineNumbers_->width(), r.height()) & lineNumbers_->rect();
}

void CodeEditor::setRunningLine(const QTextCursor& at, bool reveal) {
    const int before = running_.isNull() ? -1 : running_.blockNumber();
    const int now = at.isNull() ? -1 : at.blockNumber();
    running_ = at;
    if (now != before)
        updateExtraSelections();
    if (now < 0 || (now == before && !reveal))
        return;
    const int first = firstVisibleBlock().blockNumber();
    const int rows = std::max(1, viewport()->height() / fontMetrics().lineSpacing());
    if (now < first || now >= first + rows)
        verticalScrollBar()->setValue(std::max(0, now - rows / 3));
}

int CodeEditor::runningLine() const {
    return running_.isNull() ? 0 : running_.blockNumber() + 1;
}

void CodeEditor::setMarkedLines(std::vector<QTextCursor> lines) {
    marked_ = std::move(lines);
    lineNumbers_->update();
}

bool CodeEditor::lineMarked(int line) const {
    return std::any_of(marked_.begin(), marked_.end(),
                       [line](const QTextCursor& c) { return c.blockNumber() + 1 == line; });
}

void CodeEditor::setErrors(const std::vector<LineError>& errors) {
    errors_.clear();
    for (const LineError& e : errors) {
        const QTextBlock block = document()->findBlockByNumber(e.line - 1);
        if (e.line < 1 || !block.isValid())
            continue;
        const QString text = block.text();
        const int length = static_cast<int>(text.size());
        // From the error's column to the end of its word; at the end of the
        // line, the last word.
        int from = 0;
        for (int c = 1; c < e.column && from < length; ++c)
            from += text[from].isHighSurrogate() ? 2 : 1;
        from = std::min(from, length);
        const auto inWord = [&text](int i) {
            return !text[i].isSpace() && text[i] != QLatin1Char(',') && text[i] != QLatin1Char(';');
        };
        if (from == length)
            while (from > 0 && (from == length || !inWord(from)))
                --from;
        int to = from;
        while (to < length && inWord(to))
            ++to;
        to = std::min(length, std::max(to, from + 1));
        errors_.push_back({QTextCursor(block), text, e.message, from, to});
    }
    updateExtraSelections();
    lineNumbers_->update();
}

QString CodeEditor::errorOfLine(int line) const {
    for (const ErrorMark& e : errors_)
        if (e.at.blockNumber() + 1 == line)
            return e.message;
    return {};
}

void CodeEditor::dropEditedErrors() {
    const auto edited = std::remove_if(errors_.begin(), errors_.end(), [](const ErrorMark& e) {
        return e.at.block().text() != e.text;
    });
    if (edited == errors_.end())
        return;
    errors_.erase(edited, errors_.end());
    updateExtraSelections();
    lineNumbers_->update();
}

void CodeEditor::updateExtraSelections() {
    const kovar::ui::Theme theme = kovar::ui::ThemeOf(this);
    QList<QTextEdit::ExtraSelection> list;
    if (!running_.isNull()) {
        QTextEdit::ExtraSelection line;
        line.cursor = running_;
        line.cursor.clearSelection();
        line.format.setBackground(theme.runningLine);
        line.format.setProperty(QTextFormat::FullWidthSelection, true);
        list << line;
    }
    for (const ErrorMark& e : errors_) {
        QTextEdit::ExtraSelection wave;
        const int at = e.at.block().position();
        wave.cursor = e.at;
        wave.cursor.setPosition(at + e.from);
        wave.cursor.setPosition(at + e.to, QTextCursor::KeepAnchor);
        wave.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        wave.format.setUnderlineColor(theme.sourceError);
        list << wave;
    }
    setExtraSelections(list);
}

void CodeEditor::goTo(int line, int column) {
    const QTextBlock block = document()->findBlockByNumber(std::max(0, line - 1));
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    // Columns count characters; a character beyond the BMP takes two units.
    int units = 0;
    const QString text = block.text();
    for (int c = 1; c < column && units < text.size(); ++c)
        units += text[units].isHighSurrogate() ? 2 : 1;
    cursor.setPosition(block.position() + std::min<int>(units, static_cast<int>(text.size())));
    setTextCursor(cursor);
    centerCursor();
    setFocus(Qt::OtherFocusReason);
}
