#include "support/TestMessageBox.h"

#include "support/TestSeams.h"

namespace fiscora::test {

TestMessageBox::TestMessageBox()
    : MessageBox(sharedSeams().gate) {
    sharedSeams().messages.test = this;
}

TestMessageBox::~TestMessageBox() {
    sharedSeams().messages.test = nullptr;
}

QStringList TestMessageBox::texts() const {
    QStringList list;
    for (const MessageRequest& request : m_shown)
        list.append(request.text);
    return list;
}

MessageAnswer TestMessageBox::ask(const MessageRequest& request) {
    m_shown.append(request);
    if (onShow)
        onShow(request);
    runLoop();
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    switch (request.buttons) {
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    default:
        return MessageAnswer::Cancel;
    }
}

} // namespace fiscora::test
