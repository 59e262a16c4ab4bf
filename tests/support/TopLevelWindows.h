#pragma once

namespace fiscora::test {

// Deletes every parentless top-level window a test left behind, without closing it (closing the
// main window ends the program). Each is guarded, since windows own others.
void deleteTopLevelWindows();

} // namespace fiscora::test
