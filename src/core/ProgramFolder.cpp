#include "core/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fiscora {

namespace {

const QString kSettings = QStringLiteral("fiscora.ini");

QString runningExecutableFolder() {
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

// Files that belong to the user once copied, and files that follow the installed program.
const char* const kUserFiles[] = {"fiscora.ini", "fiscora.mdb"};
const char* const kProgramFiles[] = {"gia_limpa.mdb", "info.fsc"};
// The local database holds every company's key and the journal: the user's alone.
const QString kDatabase = QStringLiteral("fiscora.mdb");
constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kSharedFile =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

// What others may do with a file or folder is taken away; the owner's own rights stay.
void keepToOwner(const QString& path) {
    QFile::setPermissions(path, QFile::permissions(path) & kOwnerOnly);
}

bool sameFile(const QFileInfo& a, const QFileInfo& b) {
    return a.size() == b.size() && a.lastModified() == b.lastModified();
}

// Copies through a temporary name so an interrupted copy never leaves half a file under the
// real one; keeps the source's time so a later start can tell the copy is current.
Status copyFile(const QString& source, const QString& target, QFileDevice::Permissions permissions) {
    // Named per process: two programs starting at once each copy whole.
    const QString partial =
        target + QStringLiteral(".novo") + QString::number(QCoreApplication::applicationPid());
    QFile::remove(partial);
    QFile in(source);
    if (!in.copy(partial))
        return AppError::message(
            QStringLiteral("Não foi possível copiar %1 para %2: %3").arg(source, target, in.errorString()));
    // The installed copy is read-only; the user's must not be.
    QFile out(partial);
    out.setPermissions(permissions);
    if (out.open(QIODevice::ReadWrite)) {
        out.setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime);
        out.close();
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        return AppError::message(QStringLiteral("Não foi possível gravar %1.").arg(target));
    }
    return {};
}

} // namespace

ProgramFolder::ProgramFolder(const QString& folder, const QString& executableFolder)
    : m_path(QDir::cleanPath(QDir(folder).absolutePath()))
    , m_executableFolder(executableFolder.isEmpty() ? runningExecutableFolder() : executableFolder) {}

Result<ProgramFolder> ProgramFolder::initialize(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--pasta"));
    if (at >= 0 && at + 1 < arguments.size())
        return ProgramFolder(arguments.at(at + 1));
    const QString fromEnv = qEnvironmentVariable("FISCORA_PASTA");
    if (!fromEnv.isEmpty())
        return ProgramFolder(fromEnv);
    const ProgramFolder beside(runningExecutableFolder());
    const QString defaults = beside.installedDefaults();
    if (defaults.isEmpty())
        return beside;
    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (own.isEmpty())
        return AppError::message(QStringLiteral(
            "Não foi possível determinar a pasta do usuário (a variável HOME não está definida)."));
    if (Status filled = fillFromDefaults(defaults, own); !filled)
        return filled.error();
    return ProgramFolder(own);
}

QString ProgramFolder::file(const QString& name) const {
    return m_path + QLatin1Char('/') + name;
}

QString ProgramFolder::settingsPath() const {
    return file(kSettings);
}

QString ProgramFolder::installedDefaults() const {
    const QString& bin = m_executableFolder;
    if (bin.isEmpty() || QFileInfo::exists(bin + QLatin1Char('/') + kSettings))
        return {};
    const QString defaults = QDir::cleanPath(bin + QLatin1Char('/') + QLatin1String(FISCORA_DEFAULTS_RELDIR));
    return QFileInfo::exists(defaults + QLatin1Char('/') + kSettings) ? defaults : QString();
}

QString ProgramFolder::helperProgram(const QString& name) const {
    const QString& bin = m_executableFolder;
    const QString beside = bin + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir::cleanPath(bin + QLatin1Char('/') + QLatin1String(FISCORA_HELPERS_RELDIR) +
                                              QLatin1Char('/') + name);
    return QFileInfo::exists(installed) ? installed : beside;
}

Status ProgramFolder::fillFromDefaults(const QString& defaults, const QString& folder) {
    if (!QDir().mkpath(folder))
        return AppError::message(
            QStringLiteral("Não foi possível criar a pasta do programa %1.").arg(folder));
    // Made private, or tightened when an earlier version left it open to others.
    keepToOwner(folder);
    for (const char* name : kUserFiles) {
        const QString source = defaults + QLatin1Char('/') + QLatin1String(name);
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        const bool database = QLatin1String(name) == kDatabase;
        if (QFileInfo::exists(source) && !QFileInfo::exists(target)) {
            if (Status copied = copyFile(source, target, database ? kPrivateFile : kSharedFile); !copied)
                return copied;
        } else if (database && QFileInfo::exists(target)) {
            keepToOwner(target);
        }
    }
    for (const char* name : kProgramFiles) {
        const QFileInfo source(defaults + QLatin1Char('/') + QLatin1String(name));
        const QFileInfo target(folder + QLatin1Char('/') + QLatin1String(name));
        if (source.exists() && !(target.exists() && sameFile(source, target)))
            if (Status copied = copyFile(source.filePath(), target.filePath(), kSharedFile); !copied)
                return copied;
    }
    return {};
}

} // namespace fiscora
