#pragma once

#include <QPixmap>

namespace fiscora {

// The municipality's emblem shown by the start-up window, the about box and the main window.
QPixmap brasao();

} // namespace fiscora
