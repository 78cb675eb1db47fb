#include "theme.h"

#include <QEvent>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cmath>

namespace kovar::ui {

namespace {

// The contrast the theme aims for: above the least allowed, because the
// thin strokes of a small font, antialiased, never quite reach the full
// colour (light text on a dark ground loses most).
constexpr double kAimedContrast = kTextContrast + 0.5;

// sRGB channel values (0..255) made linear, as the luminance formula wants.
const std::array<double, 256>& linearChannel() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[static_cast<std::size_t>(i)] =
                c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

// `from` moved the fraction `share` (0..1) of the way towards `to`.
QColor mix(const QColor& from, const QColor& to, double share) {
    const auto channel = [share](int a, int b) {
        return static_cast<int>(std::lround(a + (b - a) * share));
    };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

bool readableOnAll(const QColor& text, std::initializer_list<QColor> backgrounds, double ratio) {
    return std::all_of(backgrounds.begin(), backgrounds.end(),
                       [&](const QColor& b) { return ContrastRatio(text, b) >= ratio; });
}

// The strongest tint of `base` towards `hue`, at most `maxShare` of the way,
// on which every one of `texts` stays readable.
QColor fittedTint(const QColor& base, const QColor& hue, double maxShare,
                  std::initializer_list<QColor> texts) {
    for (int step = static_cast<int>(std::lround(maxShare * 100)); step > 0; --step) {
        const QColor tint = mix(base, hue, step / 100.0);
        if (std::all_of(texts.begin(), texts.end(),
                        [&](const QColor& t) { return ContrastRatio(t, tint) >= kAimedContrast; }))
            return tint;
    }
    return base;
}

// The largest share (0..maxShare) of `hue` laid over `base` that keeps `text`
// readable: the opacity of a translucent mark.
double fittedShare(const QColor& base, const QColor& hue, double maxShare, const QColor& text) {
    for (int step = static_cast<int>(std::lround(maxShare * 100)); step > 0; --step)
        if (ContrastRatio(text, mix(base, hue, step / 100.0)) >= kAimedContrast)
            return step / 100.0;
    return 0;
}

Theme makeTheme(const QPalette& palette) {
    const bool dark = IsDark(palette);
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor window = palette.color(QPalette::Window);
    const QColor windowText = palette.color(QPalette::WindowText);
    const QColor button = palette.color(QPalette::Button);

    Theme t;
    // The address labels: black and red on a light palette, as always.
    t.address = dark ? windowText : QColor(Qt::black);
    t.mark = dark ? Readable(QColor(Qt::red), {window}, kAimedContrast) : QColor(Qt::red);

    t.cellBase = base;
    t.cellText = text;
    t.cellFrame = mix(base, text, 0.52);

    // A warm amber laid over the base colour: strong on a light palette,
    // deep on a dark one, always under readable text.
    t.changed = fittedTint(base, QColor(255, 180, 0), 0.55, {text, windowText});
    t.changedText = text;
    // A tab is drawn in a lighter shade of the button colour when in front
    // and a darker one behind.
    t.changedTab = Readable(QColor(224, 120, 0), {window, button.lighter(135), button.darker(115)},
                            kAimedContrast);

    // The listing's PC row is a yellow band; the texts drawn on it (a mark,
    // a faint empty word) are chosen to read on it and on the base colour.
    const QColor yellow(255, 225, 64);
    const double pcShare = dark ? 0.2 : 0.5;
    const QColor pcBand = mix(base, yellow, pcShare);
    t.listingMark = Readable(QColor(200, 0, 0), {base, pcBand}, kAimedContrast);
    t.faint = Readable(mix(base, text, 0.41), {base, pcBand}, kAimedContrast);
    t.pcRow = fittedTint(base, yellow, pcShare, {text, t.listingMark, t.faint});

    t.gutter = mix(base, text, 0.075);
    t.gutterText = Readable(mix(base, text, 0.53), {t.gutter}, kAimedContrast);
    // The editor's colours read on the base and on a yellow band at least
    // this strong (the running line's, fitted to them below).
    const QColor band = mix(base, yellow, dark ? 0.14 : 0.3);
    t.comment = Readable(QColor(110, 110, 110), {base, band}, kAimedContrast);
    t.label = Readable(QColor(120, 40, 0), {base, band}, kAimedContrast);
    t.instruction = Readable(QColor(0, 0, 170), {base, band}, kAimedContrast);
    t.directive = Readable(QColor(140, 0, 140), {base, band}, kAimedContrast);
    t.number = Readable(QColor(170, 0, 0), {base, band}, kAimedContrast);
    t.quoted = Readable(QColor(0, 120, 0), {base, band}, kAimedContrast);
    t.registerName = Readable(QColor(0, 110, 130), {base, band}, kAimedContrast);
    // The line of the instruction at PC: the listing's yellow, as strong as
    // the editor's colours allow.
    t.runningLine = fittedTint(
        base, yellow, pcShare,
        {text, t.comment, t.label, t.instruction, t.directive, t.number, t.quoted, t.registerName});
    t.sourceError = Readable(QColor(220, 0, 0), {base, t.gutter, t.runningLine}, 3.0);

    t.traceRule = text;
    t.traceRule.setAlpha(70);
    const QColor amber(255, 180, 0);
    t.findMatch = amber;
    t.findMatch.setAlpha(
        static_cast<int>(std::lround(255 * fittedShare(base, amber, 110 / 255.0, text))));

    t.errorText = Readable(QColor(200, 0, 0), {window}, kAimedContrast);
    t.glyph = dark ? palette.color(QPalette::ButtonText) : QColor(Qt::black);
    return t;
}

} // namespace

double Luminance(const QColor& colour) {
    const QColor c = colour.toRgb();
    const auto& lin = linearChannel();
    return 0.2126 * lin[static_cast<std::size_t>(c.red())] +
           0.7152 * lin[static_cast<std::size_t>(c.green())] +
           0.0722 * lin[static_cast<std::size_t>(c.blue())];
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Readable(const QColor& wanted, std::initializer_list<QColor> backgrounds, double ratio) {
    if (readableOnAll(wanted, backgrounds, ratio) || backgrounds.size() == 0)
        return wanted;
    // Towards white on dark backgrounds, towards black on light ones.
    double light = 0;
    for (const QColor& b : backgrounds)
        light += Luminance(b);
    const QColor end = light / static_cast<double>(backgrounds.size()) < 0.18 ? QColor(Qt::white)
                                                                              : QColor(Qt::black);
    for (int step = 1; step < 100; ++step) {
        const QColor moved = mix(wanted, end, step / 100.0);
        if (readableOnAll(moved, backgrounds, ratio))
            return moved;
    }
    return end;
}

bool IsDark(const QPalette& palette) {
    return Luminance(palette.color(QPalette::Text)) > Luminance(palette.color(QPalette::Base));
}

Theme ThemeFor(const QPalette& palette) {
    // The theme depends on these roles only; the last few palettes asked
    // for are kept, as windows with different palettes paint in turn.
    using Key = std::array<QRgb, 5>;
    const Key key = {palette.color(QPalette::Base).rgba(), palette.color(QPalette::Text).rgba(),
                     palette.color(QPalette::Window).rgba(),
                     palette.color(QPalette::WindowText).rgba(),
                     palette.color(QPalette::Button).rgba()};
    struct Entry {
        Key key{};
        Theme theme;
        bool used = false;
    };
    static std::array<Entry, 4> cache;
    static std::size_t next = 0;
    for (const Entry& e : cache)
        if (e.used && e.key == key)
            return e.theme;
    Entry& e = cache[next];
    next = (next + 1) % cache.size();
    e = Entry{key, makeTheme(palette), true};
    return e.theme;
}

Theme ThemeOf(const QWidget* widget) {
    return ThemeFor(widget->palette());
}

bool IsPaletteChange(const QEvent* event) {
    return event->type() == QEvent::PaletteChange ||
           event->type() == QEvent::ApplicationPaletteChange;
}

} // namespace kovar::ui
