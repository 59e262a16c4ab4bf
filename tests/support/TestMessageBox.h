#pragma once

#include "core/MessageBox.h"
#include "support/NestedLoopHold.h"

#include <QList>
#include <QQueue>

#include <functional>

namespace fiscora::test {

// Records every box and answers from a queue (OK / the cautious answer when the queue is empty),
// after a nested event loop as a modal box runs. Answers the shared seams' boxes while it lives.
class TestMessageBox final : public MessageBox, public NestedLoopHold {
public:
    TestMessageBox();
    ~TestMessageBox() override;
    TestMessageBox(const TestMessageBox&) = delete;
    TestMessageBox& operator=(const TestMessageBox&) = delete;

    void queueAnswer(MessageAnswer answer) { m_answers.enqueue(answer); }
    const QList<MessageRequest>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }
    // Called as each box is shown, to look at the program at that moment.
    std::function<void(const MessageRequest&)> onShow;

protected:
    MessageAnswer ask(const MessageRequest& request) override;

private:
    QList<MessageRequest> m_shown;
    QQueue<MessageAnswer> m_answers;
};

} // namespace fiscora::test
