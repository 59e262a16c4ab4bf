#pragma once

namespace fiscora {

// Runs the start-up window's load and, unless it ends the program, shows the window.
// Returns the window shown, or nullptr when the program must end.
class Abertura;
Abertura* openStartupWindow();

} // namespace fiscora
