#pragma once

class QPushButton;
class QWidget;

namespace fiscora {

// Dialog keys for a top-level QWidget (not a QDialog, where setDefault alone does nothing):
// `confirm` is shown as the default button and Return/Enter clicks it while it is enabled and
// visible; Escape clicks `cancel`, or closes the window when there is no cancel button. Return on
// another focused push button clicks that button, and inside a list, a grid or a multi-line editor
// it stays with that widget, so it never sends or imports by surprise. In a window whose grid is
// the choice itself (`gridConfirms`), Return on a row confirms it.
void setDialogKeys(QWidget* window, QPushButton* confirm, QPushButton* cancel, bool gridConfirms = false);

} // namespace fiscora
