#pragma once

class QWidget;

namespace fiscora {

// Every window opens over the window it belongs to. Installed once on the application, it
// centres each top-level window the first time it is shown on the window that was active last
// (a dialog with a parent Qt centres on that parent itself), keeping it inside that window's
// screen. A window the program has placed itself, or one shown again, stays where it is.
void installWindowPlacement();

// The window a new box belongs to: the active modal dialog, else the active window, else the
// window active last that is still shown; null when there is none. `except` is never the answer.
QWidget* ownerWindow(const QWidget* except = nullptr);

} // namespace fiscora
