#include "core/MessageBox.h"

#include "core/ModalGate.h"

#include <cstdio>

namespace fiscora {

namespace {

class ConsoleMessageBox final : public MessageBox {
protected:
    MessageAnswer ask(const MessageRequest& request) override {
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
};

ConsoleMessageBox g_console;
MessageBox* g_current = nullptr;

} // namespace

MessageAnswer MessageBox::show(const QString& title, const QString& text, MessageIcon icon,
                               MessageButtons buttons) {
    return show(MessageRequest{title, text, icon, buttons});
}

MessageAnswer MessageBox::show(const MessageRequest& request) {
    MessageBox* box = g_current ? g_current : &g_console;
    const ModalGate gate;
    return box->ask(request);
}

void MessageBox::install(MessageBox* implementation) {
    g_current = implementation;
}

} // namespace fiscora
