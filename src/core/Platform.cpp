#include "core/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace fiscora {

bool SystemPlatform::isAdministrator() {
    if (::geteuid() == 0)
        return true;
    return ::access(QFile::encodeName(m_folder).constData(), W_OK) == 0;
}

bool SystemPlatform::openUrl(const QString&) {
    return false;
}

bool SystemPlatform::startDetached(const QString& program, const QString& workingFolder) {
    return QProcess::startDetached(program, {}, workingFolder);
}

void SystemPlatform::quit() {
    QCoreApplication::exit(0);
}

} // namespace fiscora
