#include "asm_window.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>

#include "asm_names.h"
#include "assembler.h"
#include "atomic_file.h"
#include "file_commands.h"
#include "isa.h"
#include "machine_link.h"
#include "mem1.h"
#include "show_error.h"
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

// ---- the window ----

AsmWindow::AsmWindow(TForm1& main, QWidget* parent) : QWidget(parent, Qt::Window), main_(main) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto action = [this, bar](const char* text, const QKeySequence& key, auto handler) {
        auto* a = new QAction(QString::fromUtf8(text), this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setToolTip(QString::fromUtf8(text) + QStringLiteral(" (") +
                      key.toString(QKeySequence::NativeText) + QStringLiteral(")"));
        connect(a, &QAction::triggered, this, handler);
        bar->addAction(a);
        return a;
    };
    NewAction = new QAction(QStringLiteral("Новый"), this);
    NewAction->setToolTip(QStringLiteral("Новый текст программы, без имени"));
    connect(NewAction, &QAction::triggered, this, [this] { NewClick(); });
    bar->addAction(NewAction);
    OpenAction = action("Открыть...", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenClick(); });
    SaveAction = action("Сохранить", QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SaveClick(); });
    SaveAsAction = action("Сохранить как...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                          [this] { SaveAsClick(); });
    bar->addSeparator();
    AssembleAction = action("Ассемблировать", QKeySequence(Qt::CTRL | Qt::Key_Return),
                            [this] { AssembleClick(); });
    MarkAction = action("Точка останова", QKeySequence(Qt::Key_F5),
                        [this] { toggleLineMark(Editor->textCursor().blockNumber() + 1); });
    MarkAction->setToolTip(
        QStringLiteral("Поставить или снять точку останова на команде строки с курсором (F5); "
                       "то же делает щелчок по полю номеров строк"));
    layout->addWidget(bar);

    auto* split = new QSplitter(Qt::Vertical, this);
    Editor = new CodeEditor(split);
    Errors = new QListWidget(split);
    Errors->setToolTip(QStringLiteral("Щелчок: перейти к строке с ошибкой"));
    // A long message (a list of allowed names) wraps at the list's width.
    Errors->setWordWrap(true);
    Errors->setResizeMode(QListView::Adjust);
    Errors->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    split->addWidget(Editor);
    split->addWidget(Errors);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    layout->addWidget(split);
    Status = new QLabel(this);
    layout->addWidget(Status);
    resize(640, 560);

    connect(Errors, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ErrorsClick(Errors->row(item)); });
    connect(Errors, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ErrorsClick(Errors->row(item)); });
    connect(Editor->document(), &QTextDocument::modificationChanged, this,
            &QWidget::setWindowModified);
    connect(Editor, &CodeEditor::gutterClicked, this, [this](int line) { toggleLineMark(line); });
    followSourceMap();

    // The dialogs open in the folder that either used last.
    askOpenFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Открыть"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("Программы (*.kasm);;Все файлы (*)"));
        return kovar::ui::RunFileDialog(dialog, QStringLiteral("source"));
    };
    askSaveFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Сохранить как"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("kasm"));
        dialog.setNameFilter(QStringLiteral("Программы (*.kasm)"));
        return kovar::ui::RunFileDialog(dialog, QStringLiteral("source"),
                                        fileName_.isEmpty() ? exampleName_ : fileName_);
    };
    askSaveChanges = [this] {
        return kovar::ui::AskSaveChanges(
            this, QStringLiteral("Ассемблер"),
            QStringLiteral("Текст программы %1 изменён.").arg(displayName()));
    };
    updateTitle();
}

QString AsmWindow::displayName() const {
    if (!fileName_.isEmpty())
        return QFileInfo(fileName_).fileName();
    if (!exampleName_.isEmpty())
        return QStringLiteral("(пример %1)").arg(exampleName_);
    return QStringLiteral("(без имени)");
}

void AsmWindow::updateTitle() {
    QString title = QStringLiteral("Ассемблер");
    if (!fileName_.isEmpty() || !exampleName_.isEmpty())
        title += QStringLiteral(" - ") + displayName();
    setWindowTitle(title + QStringLiteral("[*]"));
    setWindowModified(Editor->document()->isModified());
}

bool AsmWindow::maybeSaveSource() {
    if (!Editor->document()->isModified())
        return true;
    switch (askSaveChanges()) {
    case QMessageBox::Save: return SaveClick();
    case QMessageBox::Discard: return true;
    default: return false;
    }
}

bool AsmWindow::openFile(const QString& name) {
    std::string bytes;
    if (!kovar::ReadFileOrReport(S(name), kovar::kMaxSourceBytes + 1, bytes))
        return false;
    Editor->setPlainText(Q(bytes));
    Editor->document()->setModified(false);
    fileName_ = name;
    forgetAssembledText();
    Status->setText(QString());
    updateTitle();
    return true;
}

bool AsmWindow::saveFile(const QString& name) {
    const QByteArray bytes = Editor->toPlainText().toUtf8();
    if (!kovar::WriteFileOrReport(S(name), bytes.constData(),
                                  static_cast<std::size_t>(bytes.size())))
        return false;
    fileName_ = name;
    Editor->document()->setModified(false);
    updateTitle();
    return true;
}

bool AsmWindow::openExample(const QString& name) {
    if (!openFile(name))
        return false;
    fileName_.clear();
    exampleName_ = QFileInfo(name).fileName();
    updateTitle();
    return true;
}

void AsmWindow::NewClick() {
    if (!maybeSaveSource())
        return;
    Editor->clear();
    Editor->document()->setModified(false);
    fileName_.clear();
    exampleName_.clear();
    forgetAssembledText();
    Status->clear();
    updateTitle();
}

void AsmWindow::OpenClick() {
    if (!maybeSaveSource())
        return;
    const QString name = askOpenFileName();
    if (!name.isEmpty())
        openFile(name);
}

bool AsmWindow::SaveClick() {
    return fileName_.isEmpty() ? SaveAsClick() : saveFile(fileName_);
}

bool AsmWindow::SaveAsClick() {
    const QString name = askSaveFileName();
    return !name.isEmpty() && saveFile(name);
}

bool AsmWindow::AssembleClick() {
    const kovar::AssembleResult result = kovar::Assemble(S(Editor->toPlainText()));
    if (!result.ok()) {
        showErrors(result.errors);
        Status->setText(
            QStringLiteral("Ошибок: %1. Память не изменена.").arg(result.errors.size()));
        return false;
    }
    std::size_t bytes = 0;
    for (const auto& r : result.regions)
        bytes += r.bytes.size();
    if (bytes == 0) {
        // Memory would be emptied without a word of the program in it.
        const QString message = QStringLiteral(
            "В тексте нет ни одной команды и ни одного байта данных: память не изменена.");
        showErrors({});
        Errors->addItem(message);
        errorPlaces_.emplace_back(0, 0);
        Status->setText(message);
        return false;
    }
    // Memory, marks and PC are replaced: the machine's unsaved work is asked
    // about first, as before New or Load. A machine that holds just what the
    // last assembly put there (and what running it did) loses nothing that
    // the text cannot give again, so assembling anew does not ask.
    if (main_.hasUnsavedChanges() && !machineFromText_ && !main_.mayDiscardChanges()) {
        Status->setText(QStringLiteral("Ассемблирование отменено: память не изменена."));
        return false;
    }
    showErrors({});
    kovar::ApplyProgram(result, main_.state());
    assembling_ = true;
    main_.link().programAssembled(result);
    main_.RefreshMem();
    main_.RefreshStack(kovar::StackId::DS);
    main_.RefreshStack(kovar::StackId::RS);
    main_.RefreshURD();
    main_.RefreshPC();
    main_.userEdited();
    assembling_ = false;
    machineFromText_ = true;
    const QString pc = QStringLiteral("%1").arg(result.start, 8, 16, QLatin1Char('0')).toUpper();
    Status->setText(QStringLiteral("Готово: %1 байт, PC = %2").arg(bytes).arg(pc));
    return true;
}

void AsmWindow::showErrors(const std::vector<kovar::AsmError>& errors) {
    Errors->clear();
    errorPlaces_.clear();
    std::vector<CodeEditor::LineError> marks;
    for (const kovar::AsmError& e : errors) {
        Errors->addItem(Q(kovar::FormatAsmError(e)));
        errorPlaces_.emplace_back(e.line, e.column);
        marks.push_back({e.line, e.column, Q(e.message)});
    }
    Editor->setErrors(marks);
}

void AsmWindow::ErrorsClick(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= errorPlaces_.size() ||
        errorPlaces_[static_cast<std::size_t>(row)].first < 1)
        return;
    Editor->goTo(errorPlaces_[static_cast<std::size_t>(row)].first,
                 errorPlaces_[static_cast<std::size_t>(row)].second);
}

// ---- following the machine ----

void AsmWindow::forgetAssembledText() {
    showErrors({});
    anchors_.clear();
    markedLines_.clear();
    Editor->setMarkedLines({});
    Editor->setRunningLine(QTextCursor(), false);
}

void AsmWindow::followSourceMap() {
    MachineLink& link = main_.link();
    connect(&link, &MachineLink::sourceMapChanged, this, [this] {
        const kovar::SourceMap& map = main_.link().sourceMap();
        if (assembling_) {
            // The editor's text is the program now in memory: each line that
            // laid something down gets a cursor that follows later edits.
            anchors_.clear();
            for (const kovar::AsmSpan& span : map.spans())
                if (anchors_.empty() || anchors_.back().first != span.line)
                    anchors_.emplace_back(
                        span.line,
                        QTextCursor(Editor->document()->findBlockByNumber(span.line - 1)));
        } else if (map.empty()) {
            anchors_.clear();
        }
        lineOfAddress_.assign(kovar::kMemorySize, 0);
        if (!anchors_.empty())
            for (std::size_t a = 0; a < lineOfAddress_.size(); ++a)
                lineOfAddress_[a] = map.LineAt(static_cast<uint32_t>(a));
        markedLines_.assign(1, -1); // drawn anew
        refreshMarks();
        followPC(assembling_); // a new program is shown at its start
    });
    connect(&link, &MachineLink::executed, this, [this] {
        refreshMarks();
        followPC(true);
    });
    // Any change by hand, New or Load: the machine is no longer just the text's.
    for (auto signal : {&MachineLink::edited, &MachineLink::replaced})
        connect(&link, signal, this,
                [this] { machineFromText_ = machineFromText_ && assembling_; });
    for (auto signal : {&MachineLink::shown, &MachineLink::edited, &MachineLink::replaced})
        connect(&link, signal, this, [this] {
            refreshMarks();
            followPC(false);
        });
    connect(&link, &MachineLink::pcShown, this, [this] { followPC(false); });
}

void AsmWindow::refreshMarks() {
    std::vector<int> lines;
    if (!anchors_.empty()) {
        const auto& marks = main_.link().machine().BreakpointMarks;
        for (std::size_t a = 0; a < lineOfAddress_.size(); ++a)
            if (marks[a] != 0 && lineOfAddress_[a] != 0)
                lines.push_back(lineOfAddress_[a]);
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    }
    if (lines == markedLines_)
        return;
    markedLines_ = std::move(lines);
    std::vector<QTextCursor> cursors;
    for (int line : markedLines_)
        if (QTextCursor c = anchorOf(line); !c.isNull())
            cursors.push_back(c);
    Editor->setMarkedLines(std::move(cursors));
}

void AsmWindow::followPC(bool reveal) {
    QTextCursor at;
    if (!anchors_.empty()) {
        const kovar::AsmSpan* span =
            main_.link().sourceMap().SpanAt(static_cast<uint32_t>(main_.link().machine().PC));
        if (span != nullptr && span->kind == kovar::AsmItemKind::Instruction)
            at = anchorOf(span->line);
    }
    Editor->setRunningLine(at, reveal);
}

QTextCursor AsmWindow::anchorOf(int assembledLine) const {
    const auto it = std::lower_bound(
        anchors_.begin(), anchors_.end(), assembledLine,
        [](const std::pair<int, QTextCursor>& a, int line) { return a.first < line; });
    return it != anchors_.end() && it->first == assembledLine ? it->second : QTextCursor();
}

int AsmWindow::assembledLineAt(int line) const {
    for (const auto& [assembled, cursor] : anchors_)
        if (cursor.blockNumber() + 1 == line)
            return assembled;
    return 0;
}

bool AsmWindow::toggleLineMark(int line) {
    const int assembled = assembledLineAt(line);
    const std::optional<uint32_t> address =
        assembled != 0 ? main_.link().sourceMap().InstructionOfLine(assembled) : std::nullopt;
    if (!address) {
        Status->setText(
            anchors_.empty()
                ? QStringLiteral("Точки останова ставятся в тексте, ассемблированном в память.")
                : QStringLiteral("В строке %1 нет команды: точку останова ставить некуда.")
                      .arg(line));
        return false;
    }
    main_.link().toggleBreakpoint(*address);
    const bool set = main_.link().machine().BreakpointMarks[*address] != 0;
    const QString hex = QStringLiteral("%1").arg(*address, 8, 16, QLatin1Char('0')).toUpper();
    Status->setText(QStringLiteral("Точка останова на адресе %1 (строка %2) %3.")
                        .arg(hex)
                        .arg(line)
                        .arg(set ? QStringLiteral("поставлена") : QStringLiteral("снята")));
    return true;
}
