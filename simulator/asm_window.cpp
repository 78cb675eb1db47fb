#include "asm_window.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolBar>
#include <QVBoxLayout>
#include <string>

#include "asm_names.h"
#include "assembler.h"
#include "atomic_file.h"
#include "file_commands.h"
#include "machine_link.h"
#include "isa.h"
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
}

void CodeEditor::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (kovar::ui::IsPaletteChange(event)) {
        highlighter_->setTheme(kovar::ui::ThemeOf(this));
        lineNumbers_->update();
    }
}

int CodeEditor::lineNumberWidth() const {
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(3, digits);
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
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top())
            p.drawText(0, top, lineNumbers_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                       QString::number(block.blockNumber() + 1));
        block = block.next();
        top += height;
    }
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
    Errors->clear();
    errorPlaces_.clear();
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
    Errors->clear();
    errorPlaces_.clear();
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
    Errors->clear();
    errorPlaces_.clear();
    if (!result.ok()) {
        for (const kovar::AsmError& e : result.errors) {
            Errors->addItem(Q(kovar::FormatAsmError(e)));
            errorPlaces_.emplace_back(e.line, e.column);
        }
        Status->setText(
            QStringLiteral("Ошибок: %1. Память не изменена.").arg(result.errors.size()));
        return false;
    }
    kovar::ApplyProgram(result, main_.state());
    main_.link().programAssembled(result);
    main_.RefreshMem();
    main_.RefreshStack(kovar::StackId::DS);
    main_.RefreshStack(kovar::StackId::RS);
    main_.RefreshURD();
    main_.RefreshPC();
    main_.userEdited();
    std::size_t bytes = 0;
    for (const auto& r : result.regions)
        bytes += r.bytes.size();
    const QString pc = QStringLiteral("%1").arg(result.start, 8, 16, QLatin1Char('0')).toUpper();
    Status->setText(QStringLiteral("Готово: %1 байт, PC = %2").arg(bytes).arg(pc));
    return true;
}

void AsmWindow::ErrorsClick(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= errorPlaces_.size())
        return;
    Editor->goTo(errorPlaces_[static_cast<std::size_t>(row)].first,
                 errorPlaces_[static_cast<std::size_t>(row)].second);
}
