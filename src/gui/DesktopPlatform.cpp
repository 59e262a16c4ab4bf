#include "gui/DesktopPlatform.h"

#include <QDesktopServices>
#include <QUrl>

namespace fiscora {

bool DesktopPlatform::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace fiscora
