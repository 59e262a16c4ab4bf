#include "support/TestFileChooser.h"

namespace fiscora::test {

TestFileChooser::TestFileChooser() {
    FileChooser::install(this);
}

TestFileChooser::~TestFileChooser() {
    FileChooser::install(nullptr);
}

QString TestFileChooser::choose(QWidget*, const QString& caption, const QString& directory,
                                const QString& filter, const QString& defaultSuffix) {
    m_requests.append({caption, directory, filter, defaultSuffix});
    return m_answers.isEmpty() ? QString() : m_answers.dequeue();
}

} // namespace fiscora::test
