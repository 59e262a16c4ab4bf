#include "support/TestFileChooser.h"

namespace fiscora::test {

TestFileChooser::TestFileChooser() {
    FileChooser::install(this);
}

TestFileChooser::~TestFileChooser() {
    FileChooser::install(nullptr);
}

QString TestFileChooser::choose(QWidget* parent, const QString& caption, const QString& directory,
                                const QString& filter) {
    return chooseWithSuffix(parent, caption, directory, filter, QString());
}

QString TestFileChooser::chooseWithSuffix(QWidget*, const QString& caption, const QString& directory,
                                          const QString& filter, const QString& defaultSuffix) {
    m_requests.append({caption, directory, filter, defaultSuffix});
    return m_answers.isEmpty() ? QString() : m_answers.dequeue();
}

} // namespace fiscora::test
