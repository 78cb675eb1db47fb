#include "rpncalc_unit.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <limits>
#include <optional>
#include <string>

#include "rpn.h"
#include "ui_support.h"

using kovar::ui::Q;
using kovar::ui::S;

// The list the last conversion produced; the evaluation rewrites it in place.
// It lives for the whole run, so it survives the window being hidden.
static kovar::calc::PostfixList postfixList;

namespace {

// The title of the box that reports a fault ending a handler: the program's title.
const QString kFaultTitle = QStringLiteral("KOVAR");

QLineEdit* MakeField(QWidget* parent, const QString& text, int left, int top, int width) {
    auto* field = new QLineEdit(text, parent);
    field->setGeometry(left, top, width, 21);
    // Fields of any length: QLineEdit's default limit is 32767 characters.
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

QLabel* MakeLabel(QWidget* parent, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// The picture on the equals button, 18 x 18, drawn by the program.
QPixmap EqualsGlyph() {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // Two black bars, 10 x 2 pixels with a 2-pixel gap, centred in the square.
    p.fillRect(QRect(4, 6, 10, 2), Qt::black);
    p.fillRect(QRect(4, 10, 10, 2), Qt::black);
    p.end();
    return pixmap;
}

} // namespace

TRPNcalc::TRPNcalc(QWidget* parent) : QWidget(parent, kovar::ui::kFixedWindowFlags) {
    setWindowTitle(QStringLiteral("RPN-калькулятор"));
    setFont(kovar::ui::FormFont());

    Label5 = MakeLabel(this, QStringLiteral("Инфиксная запись"), 1, 16);
    Label6 = MakeLabel(this, QStringLiteral("Постфиксная запись"), 1, 48);
    Label7 = MakeLabel(this, QStringLiteral("Результат"), 6, 80);
    EInfix = MakeField(this, QString(), 113, 16, 177);
    EPostfix = MakeField(this, QString(), 113, 48, 177);
    const QString zero = QStringLiteral("0.0");
    EA = MakeField(this, zero, 361, 8, 57);
    EB = MakeField(this, zero, 361, 32, 57);
    EC = MakeField(this, zero, 361, 56, 57);
    ED = MakeField(this, zero, 361, 80, 57);
    Answer = MakeField(this, QString(), 113, 80, 177);
    Label1 = MakeLabel(this, QStringLiteral("A:"), 343, 12);
    Label2 = MakeLabel(this, QStringLiteral("B:"), 343, 36);
    Label3 = MakeLabel(this, QStringLiteral("C:"), 343, 60);
    Label4 = MakeLabel(this, QStringLiteral("D:"), 343, 84);

    // A graphic button: clicking it leaves the focus where it was, so the
    // infix field is not left and a newly typed expression is not converted.
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setGeometry(296, 47, 23, 23);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setIcon(QIcon(EqualsGlyph()));
    SpeedButton1->setIconSize(QSize(18, 18));
    connect(SpeedButton1, &QToolButton::clicked, this, &TRPNcalc::SpeedButton1Click);

    setTabOrder(EInfix, EPostfix);
    setTabOrder(EPostfix, EA);
    setTabOrder(EA, EB);
    setTabOrder(EB, EC);
    setTabOrder(EC, ED);
    setTabOrder(ED, Answer);

    kovar::ui::OnFocusExit(EInfix, [this] { EInfixExit(); });

    showFault = [this](const QString& message) {
        QMessageBox::critical(this, kFaultTitle, message);
    };

    kovar::ui::PlaceWindow(this, 337, 118, 421, 105);
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
