#pragma once

#include "core/Platform.h"

namespace fiscora {

// The system's services with the desktop's browser.
class DesktopPlatform final : public SystemPlatform {
public:
    bool openUrl(const QString& url) override;
};

} // namespace fiscora
