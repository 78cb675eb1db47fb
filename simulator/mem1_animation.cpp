// The animated run: "Анимация" runs the program as "Запуск" does, with the
// same trace lines, stops and messages, but one instruction at a time at the
// speed chosen on the status bar, every view and the windows beside this one
// following as it goes. Esc or the command again pauses it; any other
// command, or typing into a field, pauses it first. The status bar also
// counts the instructions executed since the last New, Load, assembly or
// restart.
//
// A timer drives the run: at low speeds one instruction a tick, at high
// speeds several, the views redrawn once a tick, so that the window keeps
// handling input between ticks.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "isa.h"
#include "machine_link.h"
#include "mem1.h"
#include "shortcut_filter.h"
#include "show_error.h"

namespace {

constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 1000;
// The slider is logarithmic: a position of 100 per tenfold speed.
constexpr int kSliderSteps = 300;
// Above this speed a tick runs several instructions: ticks come no oftener
// than every 20 ms, and redrawing once a tick keeps the window responsive.
constexpr int kShortestTickMs = 20;
const QString kSpeedKey = QStringLiteral("animation/speed");

int speedAt(int position) {
    return std::clamp(static_cast<int>(std::lround(std::pow(10.0, position / 100.0))), kMinSpeed,
                      kMaxSpeed);
}
int positionOf(int speed) {
    return static_cast<int>(std::lround(100.0 * std::log10(static_cast<double>(speed))));
}

// Watches the program's input while an animation runs: Esc pauses it, and so
// do typing into, or pressing on, a field of the simulator window, closing
// the window and a dialog coming up.
class AnimationInput final : public QObject {
public:
    explicit AnimationInput(TForm1& form) : form_(form) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        // The status bar holds the speed and the step counter; the menu
        // entries' long hints stay in their tooltips.
        if (type == QEvent::StatusTip && watched == &form_)
            return true;
        if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
            type != QEvent::MouseButtonDblClick && type != QEvent::Close && type != QEvent::Show)
            return false;
        if (!form_.isAnimating())
            return false;
        // A dialog of any window (a file dialog, a question) stops the run
        // beneath it.
        if (type == QEvent::Show) {
            if (const auto* window = qobject_cast<QWidget*>(watched);
                window && window->isWindow() && window->isModal())
                form_.pauseAnimation();
            return false;
        }
        if (QApplication::activeModalWidget())
            return false;
        if (type == QEvent::Close && watched == &form_) {
            form_.pauseAnimation();
            return false;
        }
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            form_.pauseAnimation();
            return true;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !form_.isAncestorOf(widget))
            return false;
        const auto* line = qobject_cast<QLineEdit*>(widget);
        const bool field = (line && !line->isReadOnly()) || qobject_cast<QCheckBox*>(widget);
        if (!field)
            return false;
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            // Moving between fields is not editing.
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Shift ||
                key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta)
                return false;
        }
        form_.pauseAnimation();
        return false;
    }

private:
    TForm1& form_;
};

} // namespace

struct TForm1::Animation {
    QTimer timer;
    std::unique_ptr<AnimationInput> input;
    QLabel* speedText = nullptr;
    int speed = 100;
    bool running = false;
    // Instructions owed to the run at high speeds, from the time gone by.
    double credit = 0;
    QElapsedTimer clock;

    // The run being animated: how many instructions it has executed (the
    // step limit counts them across pauses), and the machine as a pause
    // left it. A run resumed on the same machine goes on; on a machine
    // changed in between, a new run starts.
    uint64_t runSteps = 0;
    std::optional<kovar::MachineState> pausedAt;
    // The first step of a run, or of a resumed run, is recorded with the IR
    // from before the run's own fetch, as Run records it.
    bool amendFirst = false;
    kovar::InstructionRegister entryIR;

    qint64 steps = 0; // the step counter
};

void TForm1::AnimationDeleter::operator()(Animation* animation) const {
    delete animation;
}

bool TForm1::isAnimating() const {
    return anim_ && anim_->running;
}

int TForm1::animationSpeed() const {
    return anim_->speed;
}

qint64 TForm1::stepCount() const {
    return anim_->steps;
}

void TForm1::buildAnimation() {
    anim_.reset(new Animation);
    Animation& a = *anim_;
    a.timer.setTimerType(Qt::PreciseTimer);
    connect(&a.timer, &QTimer::timeout, this, &TForm1::animationTick);
    a.input = std::make_unique<AnimationInput>(*this);

    QMenu* project = menuBar()->actions().value(1)->menu();
    NAnimate = new QAction(QStringLiteral("Анимация"), this);
    NAnimate->setCheckable(true);
    NAnimate->setShortcut(QKeySequence(Qt::Key_F8));
    NAnimate->setShortcutContext(Qt::ApplicationShortcut);
    const QString hint = QStringLiteral(
        "Выполнять программу, как \"Запуск\", по одной команде с выбранной скоростью. "
        "Esc или F8 — пауза, F8 — продолжить");
    NAnimate->setStatusTip(hint);
    NAnimate->setToolTip(hint);
    connect(NAnimate, &QAction::triggered, this, [this] { AnimateClick(); });
    project->addAction(NAnimate);
    shortcuts_->addActions({NAnimate});

    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    auto* speedLabel = new QLabel(QStringLiteral("Скорость:"), bar);
    AnimSpeed = new QSlider(Qt::Horizontal, bar);
    AnimSpeed->setRange(0, kSliderSteps);
    AnimSpeed->setFixedWidth(120);
    AnimSpeed->setFocusPolicy(Qt::NoFocus);
    AnimSpeed->setToolTip(QStringLiteral("Скорость анимации, команд в секунду"));
    a.speedText = new QLabel(bar);
    a.speedText->setMinimumWidth(
        a.speedText->fontMetrics().horizontalAdvance(QStringLiteral("1000 ком/с")) + 4);
    LabelSteps = new QLabel(bar);
    LabelSteps->setToolTip(
        QStringLiteral("Команд выполнено после загрузки, \"Новый\", ассемблирования или "
                       "перезапуска"));
    LabelSteps->setMinimumWidth(
        LabelSteps->fontMetrics().horizontalAdvance(QStringLiteral("Шагов: 0000000")));
    bar->addPermanentWidget(speedLabel);
    bar->addPermanentWidget(AnimSpeed);
    bar->addPermanentWidget(a.speedText);
    bar->addPermanentWidget(LabelSteps);
    connect(AnimSpeed, &QSlider::valueChanged, this,
            [this](int position) { setAnimationSpeed(speedAt(position)); });
    setAnimationSpeed(QSettings().value(kSpeedKey, 10).toInt());

    connect(this, &TForm1::edited, this, &TForm1::pauseAnimation);
    connect(this, &TForm1::replaced, this, [this] {
        pauseAnimation();
        resetStepCount();
    });
    connect(link_, &MachineLink::assembled, this, &TForm1::resetStepCount);
    resetStepCount();
}

void TForm1::setAnimationSpeed(int perSecond) {
    Animation& a = *anim_;
    a.speed = std::clamp(perSecond, kMinSpeed, kMaxSpeed);
    {
        const QSignalBlocker quiet(AnimSpeed);
        AnimSpeed->setValue(positionOf(a.speed));
    }
    a.speedText->setText(QStringLiteral("%1 ком/с").arg(a.speed));
    a.timer.setInterval(std::max(kShortestTickMs, 1000 / a.speed));
    QSettings().setValue(kSpeedKey, a.speed);
}

void TForm1::countSteps(qint64 delta) {
    anim_->steps = std::max<qint64>(0, anim_->steps + delta);
    LabelSteps->setText(QStringLiteral("Шагов: %1").arg(anim_->steps));
}

void TForm1::resetStepCount() {
    countSteps(-anim_->steps);
}

void TForm1::AnimateClick() {
    Animation& a = *anim_;
    if (a.running) {
        pauseAnimation();
        return;
    }
    commitTypedText();
    if (!(a.pausedAt && *a.pausedAt == st_))
        a.runSteps = 0;
    a.pausedAt.reset();
    noteRestartPoint();
    a.entryIR = st_.IR;
    cpu_.FetchIR();
    a.amendFirst = true;
    a.running = true;
    NAnimate->setChecked(true);
    a.credit = 1; // the first instruction runs at once
    a.clock.start();
    animationTick();
    if (a.running)
        a.timer.start();
}

void TForm1::pauseAnimation() {
    if (!isAnimating())
        return;
    Animation& a = *anim_;
    a.running = false;
    a.timer.stop();
    a.pausedAt = st_;
    NAnimate->setChecked(false);
}

void TForm1::animationTick() {
    Animation& a = *anim_;
    if (!a.running)
        return;
    int budget = 1;
    if (a.speed * kShortestTickMs > 1000) {
        a.credit += static_cast<double>(a.clock.restart()) * a.speed / 1000.0;
        // A machine too slow for the speed falls behind rather than ever
        // running longer ticks to catch up.
        a.credit = std::min(a.credit, std::max(1.0, a.speed * 0.05));
        budget = static_cast<int>(a.credit);
        a.credit -= budget;
        if (budget == 0)
            return;
    }

    const kovar::MachineState before = st_;
    const auto halted = [this] { return st_.IR.word() == kovar::isa::kHaltWord; };
    const auto mayStep = [&] {
        return !halted() && !st_.IsBreakpoint(st_.PC) && a.runSteps < kovar::kDefaultStepLimit;
    };
    int done = 0;
    // The frame of a command: the views are redrawn once, at its end.
    ++commandDepth_;
    // The run's later heading lines show PC as Run's do after its first step.
    if (a.runSteps > 0)
        RefreshPC();
    while (done < budget && mayStep()) {
        cpu_.StepPrg();
        ++a.runSteps;
        ++done;
        if (a.amendFirst) {
            history().AmendLastIR(a.entryIR);
            a.amendFirst = false;
        }
    }
    countSteps(done);
    if (!mayStep()) {
        // Stopped as Run stops, with its lines and its message.
        a.running = false;
        a.timer.stop();
        NAnimate->setChecked(false);
        const bool limit = a.runSteps == kovar::kDefaultStepLimit;
        a.runSteps = 0;
        if (halted())
            log_.Debug("Halt");
        if (st_.IsBreakpoint(st_.PC))
            log_.Debug("Breakpoint");
        if (limit) {
            const std::string text = "MaxStep:" + std::to_string(kovar::kDefaultStepLimit);
            log_.Debug(text);
            kovar::ShowError(text);
        }
    }
    --commandDepth_;
    if (commandDepth_ == 0)
        flushViews();
    finishStudyCommand(before);
}
