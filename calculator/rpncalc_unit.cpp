#include "rpncalc_unit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <optional>
#include <string>

#include "rpn.h"
#include "theme.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

// The list the last conversion produced; the evaluation rewrites it in place.
// It lives for the whole run, so it survives the window being hidden.
static kovar::calc::PostfixList postfixList;

namespace {

// The picture on the equals button, 18 x 18, drawn by the program in the
// theme's colour for pictures on buttons (black in a light palette).
QPixmap EqualsGlyph(const QColor& colour) {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // Two bars, 10 x 2 pixels with a 2-pixel gap, centred in the square.
    p.fillRect(QRect(4, 6, 10, 2), colour);
    p.fillRect(QRect(4, 10, 10, 2), colour);
    p.end();
    return pixmap;
}

} // namespace

TRPNcalc::TRPNcalc(QWidget* parent) : QWidget(parent, kovar::ui::kFixedWindowFlags) {
    setWindowTitle(QStringLiteral("RPN-калькулятор"));
    setFont(kovar::ui::FormFont());

    Label5 = kovar::ui::AddLabel(this, QStringLiteral("Инфиксная запись"), 1, 16);
    Label6 = kovar::ui::AddLabel(this, QStringLiteral("Постфиксная запись"), 1, 48);
    Label7 = kovar::ui::AddLabel(this, QStringLiteral("Результат"), 6, 80);
    EInfix = kovar::ui::AddEdit(this, QString(), 113, 16, 177);
    EPostfix = kovar::ui::AddEdit(this, QString(), 113, 48, 177);
    const QString zero = QStringLiteral("0.0");
    EA = kovar::ui::AddEdit(this, zero, 361, 8, 57);
    EB = kovar::ui::AddEdit(this, zero, 361, 32, 57);
    EC = kovar::ui::AddEdit(this, zero, 361, 56, 57);
    ED = kovar::ui::AddEdit(this, zero, 361, 80, 57);
    Answer = kovar::ui::AddEdit(this, QString(), 113, 80, 177);
    Label1 = kovar::ui::AddLabel(this, QStringLiteral("A:"), 343, 12);
    Label2 = kovar::ui::AddLabel(this, QStringLiteral("B:"), 343, 36);
    Label3 = kovar::ui::AddLabel(this, QStringLiteral("C:"), 343, 60);
    Label4 = kovar::ui::AddLabel(this, QStringLiteral("D:"), 343, 84);

    // A graphic button: clicking it leaves the focus where it was, so the
    // infix field is not left and a newly typed expression is not converted.
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setGeometry(296, 47, 23, 23);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setIcon(QIcon(EqualsGlyph(kovar::ui::ThemeOf(this).glyph)));
    SpeedButton1->setIconSize(QSize(18, 18));
    connect(SpeedButton1, &QToolButton::clicked, this, &TRPNcalc::SpeedButton1Click);

    setTabOrder(EInfix, EPostfix);
    setTabOrder(EPostfix, EA);
    setTabOrder(EA, EB);
    setTabOrder(EB, EC);
    setTabOrder(EC, ED);
    setTabOrder(ED, Answer);

    kovar::ui::OnFocusExit(EInfix, [this] { EInfixExit(); });

    showFault = [this](const QString& message) { kovar::ui::ShowFault(this, message); };

    kovar::ui::PlaceWindow(this, 337, 118, 421, 105);
}

void TRPNcalc::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (kovar::ui::IsPaletteChange(event))
        SpeedButton1->setIcon(QIcon(EqualsGlyph(kovar::ui::ThemeOf(this).glyph)));
}
void TRPNcalc::EInfixExit() {
    // A blank text converts nothing: the postfix field and the list keep the
    // previous conversion. A malformed text has already been reported.
    const std::optional<std::string> postfix =
        kovar::calc::ConvertInfixField(S(EInfix->text()), postfixList);
    if (postfix)
        EPostfix->setText(Q(*postfix));
}

void TRPNcalc::SpeedButton1Click() {
    const kovar::calc::Evaluation result = kovar::calc::Evaluate(
        postfixList, S(EA->text()), S(EB->text()), S(EC->text()), S(ED->text()));
    if (result.fault) {
        // The answer keeps its previous text.
        showFault(Q(kovar::calc::FaultMessage(*result.fault)));
        return;
    }
    Answer->setText(Q(result.answer));
}

TRPNcalc::~TRPNcalc() {
    kovar::ui::StopFocusExits(this);
}
