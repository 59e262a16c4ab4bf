#pragma once

namespace fiscora {

class Abertura;
class Session;

// Shows the main window whenever the session asks for it, creating it on first use.
void hostMainWindow(Session& session);

// Runs the start-up window's load and, unless it ends the program, shows the window.
// Returns the window shown, or nullptr when the program must end.
Abertura* openStartupWindow(Session& session);

} // namespace fiscora
