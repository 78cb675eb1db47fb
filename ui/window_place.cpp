#include "window_place.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <optional>

namespace kovar::ui {
namespace {

// Space left between the main window and a tool window beside it.
constexpr int kGap = 4;

QString settingsKey(const QString& key, const char* item) {
    return QStringLiteral("windows/%1/%2").arg(key, QLatin1String(item));
}

// Whether the window manager has framed the window (or it has no frame).
bool Framed(const QWidget* w) {
    return w->frameGeometry() != w->geometry() || (w->windowFlags() & Qt::FramelessWindowHint);
}

// The frame the window manager puts around a window. Until a new window has
// been framed its frame is not known; the height of the style's title bars
// stands in for it then.
QMargins FrameMargins(const QWidget* w) {
    if (!Framed(w))
        return QMargins(1, w->style()->pixelMetric(QStyle::PM_TitleBarHeight), 1, 1);
    const QRect frame = w->frameGeometry();
    const QRect client = w->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

// A window's frame on the screen. A window moved but not yet framed keeps
// its frame's corner where it was moved to.
QRect FrameOf(const QWidget* w) {
    if (Framed(w))
        return w->frameGeometry();
    return QRect(w->pos(), w->size().grownBy(FrameMargins(w)));
}

// The main window's title bar and menu bar, on the screen.
QRect KeepOffZone(const QWidget* main, const QRect& frame) {
    int height = FrameMargins(main).top();
    if (const auto* bar = main->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
        bar && bar->isVisibleTo(main))
        height += bar->geometry().bottom() + 1;
    return QRect(frame.left(), frame.top(), frame.width(), height);
}

// `r` moved (not resized) into `area` as far as it fits.
QRect Clamped(QRect r, const QRect& area) {
    r.moveLeft(
        std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
    r.moveTop(
        std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    return r;
}

int Distance(const QRect& a, const QRect& b) {
    return std::abs(a.left() - b.left()) + std::abs(a.top() - b.top());
}

// `r` kept on the screen and moved the shortest way off the zone.
QRect OffZone(const QRect& r, const QRect& zone, const QRect& area) {
    const QRect start = Clamped(r, area);
    if (!start.intersects(zone))
        return start;
    const QPoint moves[] = {{0, zone.bottom() + 1 - start.top()},
                            {0, zone.top() - 1 - start.bottom()},
                            {zone.left() - 1 - start.right(), 0},
                            {zone.right() + 1 - start.left(), 0}};
    std::optional<QRect> best;
    for (const QPoint& move : moves) {
        const QRect moved = Clamped(start.translated(move), area);
        if (!moved.intersects(zone) && (!best || Distance(moved, r) < Distance(*best, r)))
            best = moved;
    }
    return best.value_or(start);
}

int Overlap(const QRect& a, const QRect& b) {
    const QRect both = a & b;
    return both.isEmpty() ? 0 : both.width() * both.height();
}

// A first place beside the main window, or over the side of it that the
// window covers least, just below its menu. `minHeight` is the smallest
// frame height the window may be given (its own height when it cannot be
// resized).
QRect Beside(QRect r, const QRect& mainFrame, const QRect& zone, const QRect& area, int minHeight) {
    const QPoint corners[] = {
        {mainFrame.right() + 1 + kGap, mainFrame.top()},
        {mainFrame.left() - kGap - r.width(), mainFrame.top()},
        {mainFrame.left(), mainFrame.bottom() + 1 + kGap},
        {mainFrame.left(), mainFrame.top() - kGap - r.height()},
    };
    for (const QPoint& corner : corners) {
        r.moveTopLeft(corner);
        // Slid along the main window's side to stay on the screen.
        const QRect slid = Clamped(r, area);
        const bool sideways = corner.y() == mainFrame.top();
        if ((sideways ? slid.left() == r.left() : slid.top() == r.top()) && area.contains(slid) &&
            !slid.intersects(mainFrame))
            return slid;
    }
    const int below = zone.bottom() + 1 + kGap;
    r.setHeight(std::max(minHeight, std::min(r.height(), area.bottom() + 1 - below)));
    std::optional<QRect> best;
    for (const int left : {area.right() + 1 - r.width(), area.left()}) {
        const QRect at = OffZone(QRect(QPoint(left, below), r.size()), zone, area);
        if (!best || Overlap(at, mainFrame) < Overlap(*best, mainFrame))
            best = at;
    }
    return *best;
}

class ToolPlace : public QObject {
public:
    ToolPlace(QWidget* tool, const QWidget* main, const QString& key)
        : QObject(tool), tool_(tool), main_(main), key_(key) {
        if (tool->testAttribute(Qt::WA_Moved))
            given_ = tool->pos();
    }

    // The window is being destroyed: what was remembered of it is saved.
    ~ToolPlace() override { save(); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
            if (!placed_) {
                placed_ = true;
                place();
            }
            remember();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (tool_->isVisible())
                remember();
            break;
        case QEvent::Hide:
            remember();
            save();
            break;
        default: break;
        }
        return false;
    }

private:
    bool resizable() const { return tool_->minimumSize() != tool_->maximumSize(); }

    // The position of the window's frame (a window placed but not yet
    // framed has its client area where it was placed).
    void remember() {
        pos_ = Framed(tool_) ? tool_->frameGeometry().topLeft()
                             : tool_->geometry().topLeft() - QPoint(frame_.left(), frame_.top());
        size_ = tool_->size();
        keepSize_ = resizable();
    }

    void save() const {
        if (!pos_)
            return;
        QSettings settings;
        settings.setValue(settingsKey(key_, "pos"), *pos_);
        if (keepSize_)
            settings.setValue(settingsKey(key_, "size"), size_);
    }

    void place() {
        const QScreen* screen =
            main_->screen() ? main_->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        const QRect mainFrame = FrameOf(main_);
        const QRect zone = KeepOffZone(main_, mainFrame);
        // Until the window has been framed, the main window's frame stands in.
        frame_ = Framed(tool_) ? FrameMargins(tool_) : FrameMargins(main_);
        const QMargins& frame = frame_;
        const QSize extra = QSize(frame.left() + frame.right(), frame.top() + frame.bottom());

        const QSettings settings;
        const QVariant savedPos = settings.value(settingsKey(key_, "pos"));
        QSize client = tool_->size();
        if (const QVariant savedSize = settings.value(settingsKey(key_, "size"));
            resizable() && savedSize.isValid())
            client =
                savedSize.toSize().expandedTo(tool_->minimumSize()).boundedTo(tool_->maximumSize());
        client = client.boundedTo(area.size() - extra);
        QRect r(QPoint(), client + extra);

        if (savedPos.isValid()) {
            r.moveTopLeft(savedPos.toPoint());
            r = OffZone(r, zone, area);
        } else if (given_) {
            r.moveTopLeft(*given_);
            r = OffZone(r, zone, area);
        } else {
            const int minHeight =
                resizable() ? tool_->minimumSizeHint().height() + extra.height() : r.height();
            r = Beside(r, mainFrame, zone, area, std::min(minHeight, r.height()));
        }
        // The client area is placed: where the window has not been framed
        // yet, a move would place its client area, not its frame.
        tool_->setGeometry(
            QRect(r.topLeft() + QPoint(frame.left(), frame.top()), r.size() - extra));
    }

    QWidget* tool_;
    const QWidget* main_;
    QString key_;
    std::optional<QPoint> given_;
    std::optional<QPoint> pos_;
    QMargins frame_; // the frame assumed when the window was placed
    QSize size_;
    bool keepSize_ = false;
    bool placed_ = false;
};

} // namespace

void PlaceToolWindow(QWidget* tool, const QWidget* main, const QString& key) {
    tool->installEventFilter(new ToolPlace(tool, main, key));
}

} // namespace kovar::ui
