#pragma once

class QPushButton;
class QWidget;

namespace fiscora {

// Dialog keys for a top-level QWidget (not a QDialog, where setDefault alone does nothing):
// `confirm` is shown as the default button and Return/Enter clicks it while it is enabled and
// visible; Escape clicks `cancel`, or closes the window when there is no cancel button. Return on
// another focused push button clicks that button; in a list or a folder tree it does what the
// list does (opens the folder, chooses the file), in a multi-line editor it starts a new line, and
// in a grid it is the window's Return (the grid's rows are what the default button acts on).
void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel);

// A field that acts on Return itself (a typed path that Return opens): there the key reaches the
// field, not the window's default button.
void keepReturn(QWidget* field);

} // namespace fiscora
