#include "core/MessageBox.h"

#include "core/ModalGate.h"

#include <cstdio>

namespace fiscora {

MessageAnswer ConsoleMessageBox::ask(const MessageRequest& request) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(request.title), qUtf8Printable(request.text));
    switch (request.buttons) {
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
    case MessageButtons::RetryCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::AbortRetryIgnore:
        return MessageAnswer::Abort;
    case MessageButtons::Ok:
        break;
    }
    return MessageAnswer::Ok;
}

MessageAnswer MessageBox::show(const QString& title, const QString& text, MessageIcon icon,
                               MessageButtons buttons) {
    return show(MessageRequest{title, text, icon, buttons});
}

MessageAnswer MessageBox::show(const MessageRequest& request) {
    const ModalGate::Box box(m_gate);
    return ask(request);
}

} // namespace fiscora
