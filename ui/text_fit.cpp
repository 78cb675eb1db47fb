#include "text_fit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <functional>

namespace kovar::ui {
namespace {

constexpr qreal kSmallestPoints = 5.0;
constexpr qreal kPointStep = 0.25;
// QLineEdit keeps this many pixels free on each side of its text.
constexpr int kEditInnerMargin = 2;
const char* const kFitted = "kovarTextFit";

// A control's style option, filled by the control itself (the function
// that does it is protected: it is reached through a member pointer).
template <class Control, class Option> Option StyleOption(const Control* control) {
    struct Access : Control {
        static auto get() { return &Access::initStyleOption; }
    };
    Option option;
    (control->*Access::get())(&option);
    return option;
}

qreal Area(const QRect& r) {
    return r.isValid() ? qreal(r.width()) * r.height() : 0.0;
}

// The part of `w`, in its own coordinates, that lies inside its parent and
// that no sibling drawn above it covers. Where a sibling covers some of it,
// the largest of the four parts beside that sibling is kept.
QRect Uncovered(const QWidget* w) {
    QRect r = w->rect();
    const QWidget* parent = w->parentWidget();
    if (!parent || w->isWindow())
        return r;
    r &= parent->rect().translated(-w->pos());
    bool above = false;
    for (const QObject* child : parent->children()) {
        if (child == w) {
            above = true;
            continue;
        }
        const auto* s = qobject_cast<const QWidget*>(child);
        if (!above || !s || s->isWindow() || s->isHidden())
            continue;
        const QRect c = s->geometry().translated(-w->pos()) & r;
        if (c.isEmpty())
            continue;
        const QRect parts[] = {QRect(r.topLeft(), QPoint(c.left() - 1, r.bottom())),
                               QRect(QPoint(c.right() + 1, r.top()), r.bottomRight()),
                               QRect(r.topLeft(), QPoint(r.right(), c.top() - 1)),
                               QRect(QPoint(r.left(), c.bottom() + 1), r.bottomRight())};
        r = *std::max_element(std::begin(parts), std::end(parts),
                              [](const QRect& a, const QRect& b) { return Area(a) < Area(b); });
    }
    return r;
}

// The largest size of `base`, not above its own, at which `fits` holds; the
// smallest size tried when none does.
QFont FittedFont(const QFont& base, const std::function<bool(const QFont&)>& fits) {
    if (fits(base))
        return base;
    QFont font = base;
    const bool points = base.pointSizeF() > 0;
    const qreal size = points ? base.pointSizeF() : qreal(base.pixelSize());
    const qreal step = points ? kPointStep : 1.0;
    const qreal smallest = points ? kSmallestPoints : 7.0;
    for (qreal s = size - step; s >= smallest; s -= step) {
        if (points)
            font.setPointSizeF(s);
        else
            font.setPixelSize(int(s));
        if (fits(font))
            break;
    }
    return font;
}

// Refits the control before each repaint.
class TextFit : public QObject {
public:
    explicit TextFit(QWidget* control)
        : QObject(control), base_(control->font()), margins_(control->contentsMargins()) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* control = static_cast<QWidget*>(watched);
        // A font that the control is given (the window's, or a style
        // sheet's) is the one its text is fitted from then on.
        if (event->type() == QEvent::FontChange && !applying_ && control->font() != applied_)
            base_ = control->font();
        else if (event->type() == QEvent::Paint && !applying_) {
            applying_ = true;
            if (auto* label = qobject_cast<QLabel*>(control))
                fitLabel(label);
            else if (auto* edit = qobject_cast<QLineEdit*>(control))
                fitEdit(edit);
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                fitButton(button);
            else if (auto* list = qobject_cast<QComboBox*>(control))
                fitList(list);
            applying_ = false;
        }
        return false;
    }

private:
    void apply(QWidget* control, const QFont& font) {
        applied_ = font;
        if (control->font() != font)
            control->setFont(font);
    }

    // The label draws inside the uncovered part: its contents margins take
    // in what its siblings cover.
    void fitLabel(QLabel* label) {
        const QString text = label->text();
        if (text.isEmpty() || label->textFormat() == Qt::RichText)
            return;
        const QRect own = label->rect().marginsRemoved(margins_);
        const QRect room = own & Uncovered(label);
        if (room.isEmpty())
            return;
        const QMargins cover(room.left(), room.top(), label->width() - 1 - room.right(),
                             label->height() - 1 - room.bottom());
        if (label->contentsMargins() != cover)
            label->setContentsMargins(cover);
        apply(label, FittedFont(base_, [&](const QFont& f) {
                  const QSize need = QFontMetrics(f).size(Qt::TextExpandTabs, text);
                  return need.width() <= room.width() && need.height() <= room.height();
              }));
    }

    // QLineEdit scrolls a text that does not fit between its inner margins
    // with a pixel to spare for the cursor: the first digits go out of view.
    void fitEdit(QLineEdit* edit) {
        const QString text = edit->text();
        const auto option = StyleOption<QLineEdit, QStyleOptionFrame>(edit);
        const QRect contents =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const QMargins margins = edit->textMargins();
        const int room = (contents & Uncovered(edit)).width() - margins.left() - margins.right() -
                         2 * kEditInnerMargin;
        apply(edit, FittedFont(base_, [&](const QFont& f) {
                  return QFontMetrics(f).horizontalAdvance(text) + 1 <= room;
              }));
    }

    void fitButton(QAbstractButton* button) {
        const QString text = button->text();
        QRect room;
        if (auto* box = qobject_cast<QCheckBox*>(button)) {
            const auto option = StyleOption<QCheckBox, QStyleOptionButton>(box);
            room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        } else if (auto* push = qobject_cast<QPushButton*>(button)) {
            const auto option = StyleOption<QPushButton, QStyleOptionButton>(push);
            room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
            if (!push->icon().isNull())
                room.setWidth(room.width() - push->iconSize().width() - 4);
        } else {
            return;
        }
        if (text.isEmpty())
            return;
        room &= Uncovered(button);
        apply(button, FittedFont(base_, [&](const QFont& f) {
                  const QSize need = QFontMetrics(f).size(Qt::TextShowMnemonic, text);
                  return need.width() <= room.width() && need.height() <= room.height();
              }));
    }

    // The shown entry of a drop-down list; the entries of the open list keep
    // the list's own size (the open list is as wide as its longest entry).
    void fitList(QComboBox* list) {
        const QString text = list->currentText();
        if (text.isEmpty())
            return;
        const auto option = StyleOption<QComboBox, QStyleOptionComboBox>(list);
        const QRect room =
            list->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
                .adjusted(1, 0, -1, 0) &
            Uncovered(list);
        if (!list->view()->testAttribute(Qt::WA_SetFont)) {
            QFont own = base_; // set explicitly, so that it does not follow the list's
            if (base_.pointSizeF() > 0)
                own.setPointSizeF(base_.pointSizeF());
            else
                own.setPixelSize(base_.pixelSize());
            list->view()->setFont(own);
        }
        apply(list, FittedFont(base_, [&](const QFont& f) {
                  const QSize need = QFontMetrics(f).size(0, text);
                  return need.width() <= room.width() && need.height() <= room.height();
              }));
    }

    QFont base_;
    QFont applied_;
    QMargins margins_; // a label's own contents margins
    bool applying_ = false;
};

bool FixedInPlace(const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    return parent && !w->isWindow() && !parent->layout();
}

} // namespace

void InstallTextFit(QWidget* control) {
    if (control->property(kFitted).toBool())
        return;
    control->setProperty(kFitted, true);
    control->installEventFilter(new TextFit(control));
    control->update();
}

void FitTexts(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool kind = qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
                          qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w) ||
                          qobject_cast<QComboBox*>(w);
        if (kind && FixedInPlace(w))
            InstallTextFit(w);
    }
}

} // namespace kovar::ui
