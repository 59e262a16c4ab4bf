#pragma once

#include "core/Platform.h"

namespace fiscora {

// The system's services with the desktop's browser.
class DesktopPlatform final : public SystemPlatform {
public:
    using SystemPlatform::SystemPlatform;
    bool openUrl(const QString& url) override;
};

} // namespace fiscora
