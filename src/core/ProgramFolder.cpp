#include "core/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace fiscora {

namespace {
QString g_folder;
}

void ProgramFolder::initialize(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--pasta"));
    if (at >= 0 && at + 1 < arguments.size()) {
        set(arguments.at(at + 1));
        return;
    }
    const QString fromEnv = qEnvironmentVariable("FISCORA_PASTA");
    if (!fromEnv.isEmpty()) {
        set(fromEnv);
        return;
    }
    set(QCoreApplication::applicationDirPath());
}

void ProgramFolder::set(const QString& folder) {
    g_folder = QDir::cleanPath(QDir(folder).absolutePath());
}

QString ProgramFolder::path() {
    if (g_folder.isEmpty() && QCoreApplication::instance())
        set(QCoreApplication::applicationDirPath());
    return g_folder;
}

QString ProgramFolder::file(const QString& name) {
    return path() + QLatin1Char('/') + name;
}

QString ProgramFolder::settingsPath() {
    return file(QStringLiteral("fiscora.ini"));
}

} // namespace fiscora
