#pragma once

#include <QString>

#include <optional>

namespace fiscora {

class ModalGate;

enum class MessageIcon { None, Information, Warning, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

struct MessageRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // The text can be selected and copied (an address the user must type elsewhere).
    bool selectable = false;
    // The button Return presses; none: the platform's choice (Yes, OK).
    std::optional<MessageAnswer> defaultAnswer = std::nullopt;
};

// Every message box of the program goes through here, so tests can read and answer them. The
// windows build a widget implementation at start, the command line the console one. A box up
// holds back the outcomes of the gate it was built with.
class MessageBox {
public:
    explicit MessageBox(ModalGate& gate)
        : m_gate(gate) {}
    virtual ~MessageBox() = default;
    MessageBox(const MessageBox&) = delete;
    MessageBox& operator=(const MessageBox&) = delete;

    MessageAnswer show(const QString& title, const QString& text, MessageIcon icon = MessageIcon::None,
                       MessageButtons buttons = MessageButtons::Ok);
    MessageAnswer show(const MessageRequest& request);

protected:
    virtual MessageAnswer ask(const MessageRequest& request) = 0;

private:
    ModalGate& m_gate;
};

// Where there is no window, boxes go to stderr and take the cautious answer (No / Cancel / OK).
class ConsoleMessageBox final : public MessageBox {
public:
    using MessageBox::MessageBox;

protected:
    MessageAnswer ask(const MessageRequest& request) override;
};

} // namespace fiscora
