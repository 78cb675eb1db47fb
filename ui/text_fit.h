// Texts kept whole in the room their controls have. The windows place their
// controls in fixed pixels, measured for a narrow sans serif; with a wider
// font (DejaVu Sans, the only one on a fresh desktop) an address label loses
// its last digit under the value field beside it and an eight-digit field
// scrolls its first digit away. A fitted control keeps its font where the
// text fits and otherwise draws it in the largest smaller size that fits.
#pragma once

class QWidget;

namespace kovar::ui {

// Keeps the text of `control` (a label, an edit field, a check box, a push
// button or the shown entry of a drop-down list) whole in the part of it
// that its parent shows and no sibling covers (siblings later in the
// stacking order are drawn above it). Before each repaint the text is
// measured in the control's own font; where it does not fit, the control
// takes that font in the largest size, in steps of a quarter point down to
// 5 points, at which it does. A label draws its text in the uncovered part
// only. Returns `control`.
template <class Control> Control* FitText(Control* control);

// FitText for every label, edit field, check box, push button and drop-down
// list of `window` that is placed in fixed pixels. Controls arranged by a
// layout are left alone: the layout gives them the room their texts need.
void FitTexts(QWidget* window);

void InstallTextFit(QWidget* control);
template <class Control> Control* FitText(Control* control) {
    InstallTextFit(control);
    return control;
}

} // namespace kovar::ui
