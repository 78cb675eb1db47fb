// The theme: every colour the windows draw beyond the palette's own roles
// (change highlights, breakpoint marks, the listing's PC row, the editor's
// colouring, the trace pane's rules and find matches, message texts, the
// pictures on buttons), derived from a QPalette. A light palette keeps the
// program's long-standing colours (red and black address labels, a black
// equals sign); a dark one gets readable equivalents. Every text colour keeps
// a contrast of at least 4.5:1 against the background it is drawn on, except
// the red address label of a light palette, which stays as it always was.
#pragma once

#include <QColor>
#include <initializer_list>

class QEvent;
class QPalette;
class QWidget;

namespace kovar::ui {

// The least contrast between a text and its background.
inline constexpr double kTextContrast = 4.5;

// Relative luminance of a colour (0 black .. 1 white), sRGB as on screen.
double Luminance(const QColor& colour);
// Contrast ratio of two colours, 1 (none) .. 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);
// `wanted`, moved towards white (on dark backgrounds) or black (on light
// ones) just far enough to reach `ratio` against every background.
QColor Readable(const QColor& wanted, std::initializer_list<QColor> backgrounds,
                double ratio = kTextContrast);
// Whether a palette draws light text on dark backgrounds.
bool IsDark(const QPalette& palette);

struct Theme {
    // The memory view: address labels without and with a breakpoint mark,
    // the value cells' background, text and frame.
    QColor address;
    QColor mark;
    QColor cellBase;
    QColor cellText;
    QColor cellFrame;
    // A value the last command changed: its background and text, and the
    // caption of a page tab whose entries changed.
    QColor changed;
    QColor changedText;
    QColor changedTab;
    // The listing: the row at PC, breakpoint marks and the text of a marked
    // row, the text of empty words.
    QColor pcRow;
    QColor listingMark;
    QColor faint;
    // The source editor: line-number margin and its numbers, then the
    // colouring of the program text.
    QColor gutter;
    QColor gutterText;
    QColor comment;
    QColor label;
    QColor instruction;
    QColor directive;
    QColor number;
    QColor quoted;
    QColor registerName;
    // The source editor while debugging: the band under the line of the
    // instruction at PC (every text colour reads on it), and the marker and
    // wavy underline of a line the assembler rejected.
    QColor runningLine;
    QColor sourceError;
    // The trace pane: the rule before each step, the mark over a find match.
    QColor traceRule;
    QColor findMatch;
    // A message that reports a failure (such as a search that found nothing).
    QColor errorText;
    // Pictures the program draws on buttons (the calculator's equals sign).
    QColor glyph;
};

// The theme for a palette. Cheap enough for painting code: the themes of
// the last few palettes asked for are kept.
Theme ThemeFor(const QPalette& palette);
// The theme for a widget's current palette.
Theme ThemeOf(const QWidget* widget);

// Whether an event tells a widget that its palette (or the program's) has
// changed, so that colours taken from the theme must be taken again.
bool IsPaletteChange(const QEvent* event);

} // namespace kovar::ui
