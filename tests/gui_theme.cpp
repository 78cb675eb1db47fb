// Readable colours in a light and a dark palette: the main window, the
// listing, the source window and the calculator's equals sign are drawn
// after the program's palette changed, and every text the theme colours is
// measured from the pixels against its background (relative-luminance
// contrast, at least 4.5:1).
#include <QApplication>
#include <QCheckBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <memory>

#include "app.h"
#include "asm_window.h"
#include "gui_support.h"
#include "listing_window.h"
#include "mem1.h"
#include "rpncalc_unit.h"
#include "trace_view.h"
#include "ui_support.h"

namespace {

// Marks address 0, stores a word at 20, changes DS, URD0, FL and PC in one
// Continue, and halts at 12.
const char* const kProgram = R"(; theme check
start:  LOAD  TOS, ZERO, n, pushds
        SAVE  ZERO, TOS, 0x14
        ALU   UDR0, TOS, a+b+c, cond=nz, setfl
        halt
n:      .data 5
        .break start
)";

double Luminance(const QColor& c) {
    const auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A text drawn in a box: the background is the box's most frequent colour,
// the text the pixel that stands out from it most (the glyphs' cores).
struct Measured {
    QColor background;
    QColor text;
    double ratio = 1;
};

Measured Measure(const QImage& image, QRect box) {
    box &= image.rect();
    QHash<QRgb, int> counts;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    Measured m;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            m.background = QColor(it.key());
        }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double r = Contrast(QColor(it.key()), m.background);
        if (r > m.ratio) {
            m.ratio = r;
            m.text = QColor(it.key());
        }
    }
    return m;
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(53, 53, 53);
    const QColor base(42, 42, 42);
    const QColor disabled(127, 127, 127);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, Qt::white);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(80, 80, 80));
    p.setColor(QPalette::Midlight, QColor(66, 66, 66));
    p.setColor(QPalette::Mid, QColor(44, 44, 44));
    p.setColor(QPalette::Dark, QColor(35, 35, 35));
    p.setColor(QPalette::Shadow, QColor(20, 20, 20));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

} // namespace

class ThemeTest : public QObject {
    Q_OBJECT

    struct Sample {
        QString what;
        const QImage* image;
        QRect box;
    };

    std::unique_ptr<KovarApp> app;
    QPalette original;

    // A widget's box in the coordinates of `top`, shrunk by `inset` so that
    // frames stay out.
    static QRect boxIn(const QWidget* widget, const QWidget* top, int inset = 0) {
        return QRect(widget->mapTo(top, QPoint(0, 0)), widget->size())
            .adjusted(inset, inset, -inset, -inset);
    }

    // The box of a word's first occurrence in the editor, in the editor's
    // coordinates.
    static QRect tokenBox(CodeEditor* editor, const QString& token) {
        QTextCursor c = editor->document()->find(token, 0, QTextDocument::FindCaseSensitively);
        if (c.isNull())
            return {};
        const int end = c.selectionEnd();
        c.setPosition(c.selectionStart());
        const QRect from = editor->cursorRect(c);
        c.setPosition(end);
        const QRect to = editor->cursorRect(c);
        const QPoint offset = editor->viewport()->mapTo(editor, QPoint(0, 0));
        return QRect(from.left() + 1, from.top(), to.left() - from.left() - 1, from.height())
            .translated(offset);
    }

private slots:
    void initTestCase() {
        kovar::test::QuietRaiseWarnings();
        original = QApplication::palette();
    }
    void cleanup() {
        app.reset();
        QApplication::setPalette(original);
    }

    void textsAreReadable_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void textsAreReadable() {
        QFETCH(bool, dark);
        // The windows are made in the light palette and follow the change.
        app = std::make_unique<KovarApp>();
        app->form1->setSplash(nullptr);
        QVERIFY(kovar::test::Activate(app->form1.get()));
        AsmWindow* src = app->asmWindow.get();
        ListingWindow* lst = app->listingWindow.get();
        src->Editor->setPlainText(QString::fromUtf8(kProgram));
        QVERIFY(src->AssembleClick());
        // A quoted operation name, for its colour only (after assembling).
        src->Editor->appendPlainText(QStringLiteral("        ALU   TOS, SOS, \"a+b\""));
        TForm1* w = app->form1.get();
        w->ContinueClick();
        QCOMPARE(app->state.PC, 12);
        const QList<QWidget*> changed = {w->MemCells[20], w->DSView.items[0], w->EditPC,
                                         w->CheckBoxFL};
        for (QWidget* field : changed)
            QVERIFY(w->isHighlighted(field));
        w->MemoDeb->openFind();
        w->MemoDeb->findField()->setText(QStringLiteral("PC:"));
        w->MemoDeb->verticalScrollBar()->setValue(0);
        kovar::ui::ShowToFront(lst);
        kovar::ui::ShowToFront(src);
        QApplication::setPalette(dark ? DarkPalette() : QApplication::style()->standardPalette());
        QCoreApplication::processEvents();

        const QImage main = w->grab().toImage();
        const QImage listing = lst->View->viewport()->grab().toImage();
        const QImage source = src->Editor->grab().toImage();
        const QImage equals = app->rpncalc->SpeedButton1->grab().toImage();
        QList<Sample> samples;

        // The main window.
        const auto labelBox = [w](const QLabel* label) {
            QRect r = boxIn(label, w);
            r.setWidth(std::min(r.width(), label->fontMetrics().horizontalAdvance(label->text())));
            return r;
        };
        samples << Sample{"address label", &main, labelBox(w->MemLabels[1])};
        if (dark) // a light palette keeps the red of a marked address as it always was
            samples << Sample{"marked address label", &main, labelBox(w->MemLabels[0])};
        samples << Sample{"PC caption", &main, labelBox(w->Label4)};
        samples << Sample{"memory cell", &main, boxIn(w->MemCells[1], w, 2)};
        samples << Sample{"changed memory cell", &main, boxIn(w->MemCells[20], w, 2)};
        samples << Sample{"stack field", &main, boxIn(w->DSView.items[5], w, 3)};
        samples << Sample{"changed stack field", &main, boxIn(w->DSView.items[0], w, 3)};
        samples << Sample{"changed PC field", &main, boxIn(w->EditPC, w, 3)};
        const int indicator = w->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                              w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        samples << Sample{"changed FL box", &main,
                          boxIn(w->CheckBoxFL, w).adjusted(indicator, 0, 0, 0)};
        QTabBar* tabs = w->PageControl1->tabBar();
        for (int k : {0, 1}) {
            const QRect tab(tabs->mapTo(w, tabs->tabRect(k).topLeft()), tabs->tabRect(k).size());
            const QSize text(tabs->fontMetrics().horizontalAdvance(tabs->tabText(k)),
                             tabs->fontMetrics().height());
            samples << Sample{
                k == 0 ? "changed tab" : "tab", &main,
                QRect(tab.center() - QPoint(text.width() / 2, text.height() / 2), text)};
        }
        QVERIFY(tabs->tabTextColor(0).isValid());
        const QWidget* trace = w->MemoDeb->viewport();
        const QFontMetrics traceFont(w->MemoDeb->font());
        const QPoint traceTop = trace->mapTo(w, QPoint(0, 0));
        QVERIFY(TraceView::isHeading(kovar::ui::S(w->MemoDeb->lineText(0))));
        samples << Sample{"trace find match", &main,
                          QRect(traceTop + QPoint(4, 0),
                                QSize(traceFont.horizontalAdvance(QStringLiteral("PC:")) - 2,
                                      traceFont.height()))};
        samples << Sample{"trace line", &main,
                          QRect(traceTop + QPoint(3, traceFont.height()),
                                QSize(trace->width() - 6, traceFont.height()))};

        // The listing: a label, a marked row, a plain one, the PC row, an empty word.
        ListingView* v = lst->View;
        QCOMPARE(v->firstVisibleRow(), 0);
        const auto row = [v](int r) {
            return QRect(v->rowHeight() + 2, r * v->rowHeight(),
                         v->viewport()->width() - v->rowHeight() - 2, v->rowHeight());
        };
        samples << Sample{"listing label row", &listing, row(0)};
        samples << Sample{"listing marked row", &listing, row(v->rowOf(0))};
        samples << Sample{"listing row", &listing, row(v->rowOf(4))};
        samples << Sample{"listing PC row", &listing, row(v->rowOf(12))};
        samples << Sample{"listing empty word", &listing, row(v->rowOf(24))};

        // The source window: each kind of word, and the line numbers.
        CodeEditor* e = src->Editor;
        const QRect firstLine = tokenBox(e, QStringLiteral("; theme check"));
        samples << Sample{"line number", &source,
                          QRect(e->contentsRect().left(), firstLine.top(),
                                e->viewport()->x() - e->contentsRect().left(), firstLine.height())};
        samples << Sample{"comment", &source, firstLine};
        samples << Sample{"label", &source, tokenBox(e, QStringLiteral("start"))};
        samples << Sample{"instruction", &source, tokenBox(e, QStringLiteral("LOAD"))};
        samples << Sample{"register", &source, tokenBox(e, QStringLiteral("TOS"))};
        samples << Sample{"number", &source, tokenBox(e, QStringLiteral("0x14"))};
        samples << Sample{"directive", &source, tokenBox(e, QStringLiteral(".data"))};
        samples << Sample{"quoted name", &source, tokenBox(e, QStringLiteral("\"a+b\""))};
        // The halt at PC, on the running-line band.
        const QRect running = tokenBox(e, QStringLiteral("halt"));
        samples << Sample{"instruction at PC", &source, running};
        QVERIFY(Measure(source, running).background !=
                QApplication::palette().color(QPalette::Base));

        // The calculator's equals sign, a picture the program draws.
        samples << Sample{"equals sign", &equals,
                          app->rpncalc->SpeedButton1->rect().adjusted(4, 4, -4, -4)};

        for (const Sample& s : samples) {
            const Measured m = Measure(*s.image, s.box);
            if (m.ratio < 4.5)
                QFAIL(qPrintable(QStringLiteral("%1: %2 on %3, contrast %4")
                                     .arg(s.what, m.text.name(), m.background.name())
                                     .arg(m.ratio, 0, 'f', 2)));
        }
        // The cells' background is the palette's, not a fixed white.
        QCOMPARE(Measure(main, boxIn(w->MemCells[1], w, 2)).background,
                 QApplication::palette().color(QPalette::Base));
    }
};

QTEST_MAIN(ThemeTest)
#include "gui_theme.moc"
