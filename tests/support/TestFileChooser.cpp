#include "support/TestFileChooser.h"

#include "support/TestSeams.h"

#include <QFileInfo>

namespace fiscora::test {

TestFileChooser::TestFileChooser()
    : FileChooser(sharedSeams().gate) {
    sharedSeams().files.test = this;
}

TestFileChooser::~TestFileChooser() {
    sharedSeams().files.test = nullptr;
}

QString TestFileChooser::choose(Mode mode, QWidget*, const QString& caption, const QString& directory,
                                const QString& filter, const QString& defaultSuffix) {
    m_requests.append({mode, caption, directory, filter, defaultSuffix});
    runLoop();
    if (m_answers.isEmpty())
        return QString();
    QString path = m_answers.dequeue();
    if (mode == Mode::Save && !defaultSuffix.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + defaultSuffix;
    return path;
}

} // namespace fiscora::test
