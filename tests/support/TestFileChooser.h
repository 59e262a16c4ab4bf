#pragma once

#include "core/FileChooser.h"
#include "support/NestedLoopHold.h"
#include "support/TestSeams.h"

#include <QList>
#include <QQueue>
#include <QString>

namespace fiscora::test {

// Answers the file dialogs with queued paths (cancels when the queue is empty) and records every
// request, after a nested event loop as the real dialog runs. As the real save dialog does, a name
// without a suffix gets the default one. Stands in the test seams' chooser for its lifetime.
class TestFileChooser final : public FileChooser, public NestedLoopHold {
public:
    struct Request {
        Mode mode = Mode::Open;
        QString caption;
        QString directory;
        QString filter;
        QString defaultSuffix;
    };

    TestFileChooser();
    ~TestFileChooser() override;
    TestFileChooser(const TestFileChooser&) = delete;
    TestFileChooser& operator=(const TestFileChooser&) = delete;

    void queuePath(const QString& path) { m_answers.enqueue(path); }
    const QList<Request>& requests() const { return m_requests; }

protected:
    QString choose(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                   const QString& filter, const QString& defaultSuffix) override;

private:
    QList<Request> m_requests;
    QQueue<QString> m_answers;
};

} // namespace fiscora::test
