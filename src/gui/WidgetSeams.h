#pragma once

#include "gui/DesktopPlatform.h"
#include "gui/DialogCertificateChooser.h"
#include "gui/DialogFileChooser.h"
#include "gui/WidgetMessageBox.h"

namespace fiscora {

// The windowed program's seams: message boxes, file dialog, certificate window, browser.
// Installed for the lifetime of this object.
class WidgetSeams final {
public:
    WidgetSeams();
    ~WidgetSeams();
    WidgetSeams(const WidgetSeams&) = delete;
    WidgetSeams& operator=(const WidgetSeams&) = delete;

private:
    WidgetMessageBox m_messageBox;
    DialogFileChooser m_fileChooser;
    DialogCertificateChooser m_certificateChooser;
    DesktopPlatform m_platform;
};

} // namespace fiscora
