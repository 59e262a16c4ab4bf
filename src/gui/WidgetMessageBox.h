#pragma once

#include "core/MessageBox.h"

namespace fiscora {

// Modal QMessageBox over the active window.
class WidgetMessageBox final : public MessageBox {
public:
    using MessageBox::MessageBox;

protected:
    MessageAnswer ask(const MessageRequest& request) override;
};

} // namespace fiscora
