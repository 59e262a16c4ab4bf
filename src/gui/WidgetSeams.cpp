#include "gui/WidgetSeams.h"

namespace fiscora {

WidgetSeams::WidgetSeams(const Clock& clock)
    : m_seams{clock}
    , m_certificateChooser(m_seams) {
    MessageBox::install(&m_messageBox);
    FileChooser::install(&m_fileChooser);
    CertificateChooser::install(&m_certificateChooser);
    Platform::install(&m_platform);
}

WidgetSeams::~WidgetSeams() {
    MessageBox::install(nullptr);
    FileChooser::install(nullptr);
    CertificateChooser::install(nullptr);
    Platform::install(nullptr);
}

} // namespace fiscora
