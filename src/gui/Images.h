#pragma once

#include <QImage>
#include <QPixmap>

namespace fiscora {

// The municipality's emblem shown by the start-up window, the about box and the main window.
QPixmap brasao();
// The same picture as an image, decoded once and shared (any thread may ask for it).
QImage brasaoImage();

} // namespace fiscora
