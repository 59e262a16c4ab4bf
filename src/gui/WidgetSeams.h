#pragma once

#include "core/Seams.h"
#include "gui/DesktopPlatform.h"
#include "gui/DialogCertificateChooser.h"
#include "gui/DialogFileChooser.h"
#include "gui/WidgetMessageBox.h"

namespace fiscora {

// The windowed program's seams: message boxes, file dialog, certificate window, browser, and the
// given clock and program folder. Built once where the windows start and kept while they live.
class WidgetSeams final {
public:
    WidgetSeams(const Clock& clock, const ProgramFolder& folder);
    ~WidgetSeams();
    WidgetSeams(const WidgetSeams&) = delete;
    WidgetSeams& operator=(const WidgetSeams&) = delete;

    const Seams& seams() const { return m_seams; }
    CertificateChooser& certificates() { return m_certificateChooser; }

private:
    ModalGate m_gate;
    DesktopPlatform m_platform;
    DialogFileChooser m_fileChooser;
    WidgetMessageBox m_messageBox;
    Seams m_seams;
    DialogCertificateChooser m_certificateChooser;
};

} // namespace fiscora
