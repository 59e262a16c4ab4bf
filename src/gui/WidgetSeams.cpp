#include "gui/WidgetSeams.h"

namespace fiscora {

WidgetSeams::WidgetSeams(const Clock& clock, const ProgramFolder& folder)
    : m_platform(folder.path())
    , m_seams{clock, m_platform, m_fileChooser, folder}
    , m_certificateChooser(m_seams) {
    MessageBox::install(&m_messageBox);
}

WidgetSeams::~WidgetSeams() {
    MessageBox::install(nullptr);
}

} // namespace fiscora
