// What the files of the simulator window share about its value fields: the
// hexadecimal texts they show and read, writing a text only when it differs,
// the remembered choice of decimal numbers, and the memory cells' style. Used only inside TForm1's
// own files.
#pragma once

#include <QLineEdit>
#include <QString>
#include <array>
#include <cstdint>

#include "hex_op.h"
#include "theme.h"
#include "ui_support.h"

namespace kovar::mem1 {

inline QString hexBytes(int32_t value, uint8_t n) {
    return kovar::ui::Q(kovar::IntToHexBytes(value, n));
}

inline int32_t hexToInt(const QString& text) {
    return kovar::HexToInt(kovar::ui::S(text));
}

// Writes a text into a field only when it differs: setText is not free and
// a Run refreshes the same fields many times.
inline void setFieldText(QLineEdit* field, const QString& text) {
    if (field->text() != text)
        field->setText(text);
}

// Whether the stacks and registers showed decimal numbers when the program
// last switched them (kept in the program's settings).
bool savedDecimalView();

// The style of a memory cell in a theme: plain, and changed by the last
// command. Cells draw through a style sheet to get their thin frame.
std::array<QString, 2> cellStyleSheets(const kovar::ui::Theme& theme);

} // namespace kovar::mem1
