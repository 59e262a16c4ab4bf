#pragma once

#include <functional>

class QWidget;

namespace fiscora::test {

// Deletes every parentless top-level window a test left behind, without closing it (closing the
// main window ends the program). Each is guarded, since windows own others. `keep`, when given,
// stays: a window the test holds across its functions.
void deleteTopLevelWindows(QWidget* keep = nullptr);

// Runs an action on the next modal window once it is shown (dialogs block in exec()).
void whenModal(std::function<void(QWidget*)> action);

} // namespace fiscora::test
