#include "asm_window.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSplitter>
#include <QTextBlock>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>

#include "assembler.h"
#include "atomic_file.h"
#include "file_commands.h"
#include "machine_link.h"
#include "mem1.h"
#include "show_error.h"
#include "theme.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

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
