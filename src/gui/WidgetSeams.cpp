#include "gui/WidgetSeams.h"

namespace fiscora {

WidgetSeams::WidgetSeams(const Clock& clock)
    : m_seams{clock, m_platform}
    , m_certificateChooser(m_seams) {
    MessageBox::install(&m_messageBox);
    FileChooser::install(&m_fileChooser);
    CertificateChooser::install(&m_certificateChooser);
}

WidgetSeams::~WidgetSeams() {
    MessageBox::install(nullptr);
    FileChooser::install(nullptr);
    CertificateChooser::install(nullptr);
}

} // namespace fiscora
