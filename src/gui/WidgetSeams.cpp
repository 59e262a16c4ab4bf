#include "gui/WidgetSeams.h"

namespace fiscora {

WidgetSeams::WidgetSeams(const Clock& clock)
    : m_seams{clock, m_platform, m_fileChooser, m_messageBox}
    , m_certificateChooser(m_seams) {}

WidgetSeams::~WidgetSeams() = default;

} // namespace fiscora
