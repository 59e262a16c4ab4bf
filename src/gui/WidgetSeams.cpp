#include "gui/WidgetSeams.h"

namespace fiscora {

WidgetSeams::WidgetSeams(const Clock& clock, const ProgramFolder& folder)
    : m_platform(folder.path())
    , m_fileChooser(m_gate)
    , m_messageBox(m_gate)
    , m_seams{clock, m_platform, m_fileChooser, m_messageBox, folder, m_gate}
    , m_certificateChooser(m_seams) {}

WidgetSeams::~WidgetSeams() = default;

} // namespace fiscora
