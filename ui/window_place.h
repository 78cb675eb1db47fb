// Where the tool windows open: beside the main window where the screen has
// room for them, never over the main window's title bar and menu, always
// within the screen's available area, and where the user left them the last
// time (kept in the program's settings).
#pragma once

#include <QString>

class QWidget;

namespace kovar::ui {

// Places `tool` when it is first shown in a run, and remembers its position
// (and its size, when it can be resized) under `key` when it is hidden or
// the program ends.
//
// The first time, a window that has a position of its own (it was moved
// before being shown) opens there, moved only as far as needed to be wholly
// on the screen and off the main window's title bar and menu; any other
// window opens beside the main window (right, left, below, above) where it
// fits, and otherwise over the side of the main window it covers least, just
// below its menu (a resizable window is made shorter to stay on the screen).
// Later starts reopen it where it was, kept on the screen and off the menu
// in the same way.
void PlaceToolWindow(QWidget* tool, const QWidget* main, const QString& key);

} // namespace kovar::ui
