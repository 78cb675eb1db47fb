#include "help_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <utility>
#include <vector>

#include "asm_window.h"
#include "mem1.h"
#include "show_error.h"
#include "ui_support.h"

namespace {

// The installed documentation folder, seen from the installed program's
// folder, and the source folder the program was built from.
QString InstalledDocs() {
    return QDir::cleanPath(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(KOVAR_DOCS_FROM_BIN)));
}
QString SourceFolder() {
    return QStringLiteral(KOVAR_SOURCE_DIR);
}

void Report(const QString& message) {
    kovar::ShowError(kovar::ui::S(message));
}

// The name a heading is linked by: lower case, without punctuation, blanks
// turned into hyphens ("The runner: kovar3-run" is "the-runner-kovar3-run").
QString HeadingAnchor(const QString& heading) {
    QString anchor;
    for (const QChar c : heading.toLower()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'))
            anchor += c;
        else if (c == QLatin1Char(' '))
            anchor += QLatin1Char('-');
    }
    return anchor;
}

// Where a link or picture of a guide in `docs` leads from its web page: a
// link to another guide leads to that guide's page beside it, anything else
// in the guides' folder to the file itself; links within the page and to
// the web stay as they are.
QString PageTarget(const QString& target, const QDir& docs) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (target.isEmpty() || target.startsWith(QLatin1Char('#')) || scheme.match(target).hasMatch())
        return target;
    const qsizetype hash = target.indexOf(QLatin1Char('#'));
    const QString path = hash < 0 ? target : target.left(hash);
    const QString fragment = hash < 0 ? QString() : target.mid(hash);
    if (path.endsWith(QLatin1String(".md")) && !path.contains(QLatin1Char('/')) &&
        docs.exists(path))
        return QFileInfo(path).completeBaseName() + QStringLiteral(".html") + fragment;
    return QUrl::fromLocalFile(docs.absoluteFilePath(path)).toString() + fragment;
}

// Names every heading for the links to it and points links and pictures
// where they lead from the page.
void LinkPage(QTextDocument& doc, const QDir& docs) {
    std::vector<std::pair<QTextCursor, QTextCharFormat>> changes;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0) {
            QTextCursor cursor(block);
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            QTextCharFormat named;
            named.setAnchor(true);
            named.setAnchorNames({HeadingAnchor(block.text())});
            changes.emplace_back(cursor, named);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                QTextImageFormat image = format.toImageFormat();
                image.setName(PageTarget(image.name(), docs));
                format = image;
            } else if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                format.setAnchorHref(PageTarget(format.anchorHref(), docs));
            } else {
                continue;
            }
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            changes.emplace_back(cursor, format);
        }
    }
    for (auto& [cursor, format] : changes)
        cursor.mergeCharFormat(format);
}

} // namespace

HelpMenu::HelpMenu(TForm1& main, AsmWindow& source) : QObject(&main), main_(main), source_(source) {
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    Menu = main.menuBar()->addMenu(QStringLiteral("Справка"));
    const auto entry = [this](const char* text, auto handler) {
        QAction* action = Menu->addAction(QString::fromUtf8(text));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    NGuide =
        entry("Руководство пользователя", [this] { OpenGuide(QStringLiteral("user-guide.md")); });
    NGuide->setShortcut(QKeySequence(Qt::Key_F1));
    NGuide->setShortcutContext(Qt::ApplicationShortcut);
    NAsmGuide = entry("Язык ассемблера", [this] { OpenGuide(QStringLiteral("assembly.md")); });
    NExamplesFolder = entry("Папка с примерами", [this] { ExamplesFolderClick(); });
    Menu->addSeparator();
    NAbout = entry("О программе", [this] { AboutClick(); });
    NAboutQt = entry("О Qt", [this] { QMessageBox::aboutQt(&main_, QStringLiteral("О Qt")); });

    // "Примеры" follows "Загрузить" in the file menu.
    QMenu* file = main.menuBar()->actions().value(0)->menu();
    Examples = new QMenu(QStringLiteral("Примеры"), file);
    Examples->setToolTipsVisible(true);
    for (const QString& example : ExampleFiles()) {
        QAction* action = Examples->addAction(QFileInfo(example).fileName());
        QFile text(example);
        if (text.open(QIODevice::ReadOnly))
            action->setToolTip(QString::fromUtf8(text.readLine()).remove(0, 1).trimmed());
        connect(action, &QAction::triggered, this, [this, example] { ExampleClick(example); });
    }
    Examples->setEnabled(!Examples->isEmpty());
    const QList<QAction*> entries = file->actions();
    file->insertMenu(entries.value(entries.indexOf(main.N11) + 1), Examples);
}

QStringList HelpMenu::GuideFolders() {
    return {InstalledDocs(), SourceFolder() + QStringLiteral("/docs")};
}

QStringList HelpMenu::ExampleFolders() {
    return {InstalledDocs() + QStringLiteral("/examples"),
            SourceFolder() + QStringLiteral("/examples")};
}

QStringList HelpMenu::ExampleFiles() {
    for (const QString& folder : ExampleFolders()) {
        QStringList files;
        for (const QFileInfo& f :
             QDir(folder).entryInfoList({QStringLiteral("*.kasm")}, QDir::Files, QDir::Name))
            files << f.absoluteFilePath();
        if (!files.isEmpty())
            return files;
    }
    return {};
}

QString HelpMenu::AboutText() {
    return QStringLiteral("KOVAR 3, версия %1\n\n"
                          "Учебный симулятор 32-разрядного процессора с двумя аппаратными "
                          "стеками.\n\n"
                          "Программа построена на библиотеке Qt %2, которая распространяется "
                          "на условиях GNU Lesser General Public License (LGPL) версии 3; "
                          "подробнее: «Справка» → «О Qt».")
        .arg(QStringLiteral(KOVAR_VERSION), QString::fromLatin1(qVersion()));
}

QString HelpMenu::GuidePage(const QString& markdownFile, const QString& folder) {
    const QDir docs = QFileInfo(markdownFile).absoluteDir();
    if (!QDir().mkpath(folder))
        return QString();
    QString page;
    // Every guide of the folder: the links between them lead to pages too.
    for (const QFileInfo& guide :
         docs.entryInfoList({QStringLiteral("*.md")}, QDir::Files, QDir::Name)) {
        QFile in(guide.absoluteFilePath());
        if (!in.open(QIODevice::ReadOnly))
            continue;
        QTextDocument doc;
        doc.setMarkdown(QString::fromUtf8(in.readAll()));
        LinkPage(doc, docs);
        const QString name =
            QDir(folder).filePath(guide.completeBaseName() + QStringLiteral(".html"));
        QSaveFile out(name);
        if (!out.open(QIODevice::WriteOnly) || out.write(doc.toHtml().toUtf8()) < 0 ||
            !out.commit())
            continue;
        if (guide.absoluteFilePath() == QFileInfo(markdownFile).absoluteFilePath())
            page = name;
    }
    return page;
}

bool HelpMenu::open(const QString& file) {
    if (openUrl && openUrl(QUrl::fromLocalFile(file)))
        return true;
    Report(QStringLiteral("Не удалось открыть: %1").arg(file));
    return false;
}

void HelpMenu::OpenGuide(const QString& file) {
    for (const QString& folder : GuideFolders()) {
        const QString guide = QDir(folder).filePath(file);
        if (!QFileInfo(guide).isFile())
            continue;
        // The guides are written in Markdown; the browser is given a web
        // page made of them (or the text itself, if no page can be written).
        const QString page =
            GuidePage(guide, QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                 QStringLiteral("/guides"));
        open(page.isEmpty() ? guide : page);
        return;
    }
    Report(QStringLiteral("Не найден файл справки: %1\nискали в: %2")
               .arg(file, GuideFolders().join(QStringLiteral(", "))));
}

void HelpMenu::ExamplesFolderClick() {
    const QStringList files = ExampleFiles();
    if (files.isEmpty()) {
        Report(QStringLiteral("Не найдены примеры\nискали в: %1")
                   .arg(ExampleFolders().join(QStringLiteral(", "))));
        return;
    }
    open(QFileInfo(files.front()).absolutePath());
}

void HelpMenu::AboutClick() {
    QMessageBox::about(&main_, QStringLiteral("О программе"), AboutText());
}

void HelpMenu::ExampleClick(const QString& file) {
    // The source window comes up first: the question about its unsaved
    // text, if any, is asked over it.
    kovar::ui::ShowToFront(&source_);
    if (source_.maybeSaveSource())
        source_.openExample(file);
}
