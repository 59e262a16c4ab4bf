#include "gui/VersionCheck.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/TextFile.h"
#include "net/HttpClient.h"
#include "net/UpdateSignature.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fiscora {

namespace {

const QString kVersionFile = QStringLiteral("versao_ar.txt");
const QString kStampFile = QStringLiteral("info.fsc");
const QString kUpdaterFile = QStringLiteral("atualizacao_fiscora.exe");

// Larger answers are failed downloads: a version text is a line, the updater an installer.
constexpr qint64 kMaxVersionFileBytes = qint64(64) << 10;
constexpr qint64 kMaxUpdaterBytes = qint64(64) << 20;

void showNoConnection() {
    MessageBox::show(AppTexts::productTitle,
                     QStringLiteral("Não foi possível se comunicar com a internet, verifique sua conexão"),
                     MessageIcon::Critical);
}

// Only spaces are stripped; CR and LF stay.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

// Makes bytes the whole content of a file of the program folder: written to a new file beside
// it, then renamed over its name. A failure keeps the previous content, and a symbolic link of
// that name is replaced, never written through (QSaveFile would write to the link's target).
bool replaceFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo target(path);
    QTemporaryFile file(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    const bool written = file.open() && file.write(bytes) == bytes.size() && file.flush() &&
                         ::fsync(file.handle()) == 0 &&
                         std::rename(QFile::encodeName(file.fileName()).constData(),
                                     QFile::encodeName(target.absoluteFilePath()).constData()) == 0;
    file.setAutoRemove(!written);
    return written;
}

// Writes a finished download into a local file: the previous content stays unless the whole
// body arrived and was written. On failure shows the transfer message and returns false.
bool saveDownload(const QString& localFile, const Result<QByteArray>& body) {
    if (body && replaceFile(localFile, *body))
        return true;
    MessageBox::show(AppTexts::programTitle,
                     QStringLiteral("Ocorreu um erro durante a transferência do arquivo  !"),
                     MessageIcon::Critical);
    return false;
}

// The key comes with the program: the installed defaults, or the executable's own folder in a
// build or copied folder. Never the program folder, which --pasta or FISCORA_PASTA may name (and
// an installed program's is writable by anything the user runs).
QString updateKeyPath() {
    const QString defaults = ProgramFolder::installedDefaults();
    return QDir(defaults.isEmpty() ? ProgramFolder::executableFolder() : defaults)
        .filePath(UpdateSignature::publicKeyFile);
}

// The updater to check: the bytes just downloaded, else those the folder kept from before.
Result<QByteArray> updaterBytes(const Result<QByteArray>& downloaded, const QString& keptPath) {
    if (downloaded)
        return downloaded;
    QFile kept(keptPath);
    if (!QFileInfo(keptPath).isFile() || !kept.open(QIODevice::ReadOnly) || kept.size() > kMaxUpdaterBytes)
        return AppError::message(QStringLiteral("O arquivo da atualização não pôde ser lido."));
    return kept.readAll();
}

// A fresh copy of the checked bytes to start: a new file, made exclusively in a new folder only
// this user can enter, so nothing can swap it between the check and the start (the kept file in
// the program folder can be replaced while the update message waits for OK).
Result<QString> privateCopy(const QByteArray& bytes) {
    QByteArray folder = QFile::encodeName(ProgramFolder::file(QStringLiteral("atualizacao-XXXXXX")));
    if (!::mkdtemp(folder.data()))
        return AppError::message(QStringLiteral("Não foi possível preparar a atualização: %1")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
    const QByteArray path = folder + '/' + QFile::encodeName(kUpdaterFile);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    qsizetype done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool complete = fd >= 0 && done == bytes.size() && ::fsync(fd) == 0;
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    if (!complete) {
        QDir(QFile::decodeName(folder)).removeRecursively();
        return AppError::message(QStringLiteral("Não foi possível preparar a atualização: %1").arg(reason));
    }
    return QFile::decodeName(path);
}

} // namespace

StartupChecks::StartupChecks()
    : m_administrator(Platform::current().isAdministrator())
    , m_server(ServerAddress::fromSettings())
    , m_version(std::make_shared<Result<QByteArray>>(AppError::message(QString()))) {}

void StartupChecks::startFetch() {
    if (!m_administrator || m_started)
        return;
    m_started = true;
    m_fetch = QThread::create([version = m_version, url = m_server.portalFile(QStringLiteral("versao.txt"))] {
        *version = HttpClient::download(url, kMaxVersionFileBytes);
    });
    QObject::connect(m_fetch, &QThread::finished, m_fetch, &QObject::deleteLater);
    m_fetch->start();
}

void StartupChecks::whenFetched(QObject* context, std::function<void()> fetched) {
    if (!m_fetch || m_fetch->isFinished()) {
        QTimer::singleShot(0, context, std::move(fetched));
        return;
    }
    QObject::connect(m_fetch, &QThread::finished, context, std::move(fetched), Qt::QueuedConnection);
}

StartupChecks::~StartupChecks() = default;

StartupOutcome runStartupChecks() {
    return StartupChecks().finish();
}

StartupOutcome StartupChecks::finish() {
    Platform& platform = Platform::current();
    if (!m_administrator) {
        MessageBox::show(QStringLiteral("ICMS"),
                         QStringLiteral("Seu usuário não possui privilégios administrativos\r\n\r\n"
                                        "Por favor, solicite ao Departamento de Informática permissões. "
                                        "A aplicação será encerrada."),
                         MessageIcon::Critical);
        return StartupOutcome::Quit;
    }

    startFetch();
    if (m_fetch)
        m_fetch->wait();
    // Written here, on the window's thread, as the user's messages are.
    const QString versionPath = ProgramFolder::file(kVersionFile);
    saveDownload(versionPath, *m_version);

    // An unreadable copy or stamp counts as no connection: the user can still work.
    const Result<QString> serverVersion = ReadFile(versionPath);
    if (!serverVersion || trimBlanks(*serverVersion).isEmpty()) {
        showNoConnection();
        return StartupOutcome::ShowWindow;
    }
    const Result<QString> stamp = ReadFile(ProgramFolder::file(kStampFile));
    if (!stamp) {
        showNoConnection();
        return StartupOutcome::ShowWindow;
    }
    if (*stamp == *serverVersion)
        return StartupOutcome::ShowWindow;

    const QString updaterPath = ProgramFolder::file(kUpdaterFile);
    const QString updaterUrl = m_server.portalFile(kUpdaterFile);
    const Result<QByteArray> downloaded = HttpClient::download(updaterUrl, kMaxUpdaterBytes);
    saveDownload(updaterPath, downloaded);
    // What is checked, and later started, is these bytes, never the file, which can change.
    const Result<QByteArray> updater = updaterBytes(downloaded, updaterPath);
    const Result<QByteArray> signature =
        HttpClient::download(updaterUrl + QStringLiteral(".sig"), UpdateSignature::kMaxSignatureBytes);
    Status verified = updater ? Status() : Status(updater.error());
    if (verified)
        verified = signature ? UpdateSignature::verifyWithKeyFile(*updater, *signature, updateKeyPath())
                             : Status(signature.error());
    if (!verified) {
        MessageBox::show(
            AppTexts::productTitle,
            QStringLiteral("Existe uma atualização do Fiscora, mas ela não pôde ser verificada "
                           "e não será executada.\r\n\r\nO arquivo baixado foi mantido em:\r\n") +
                QDir::toNativeSeparators(updaterPath),
            MessageIcon::Warning);
        return StartupOutcome::ShowWindow;
    }
    MessageBox::show(
        AppTexts::productTitle,
        QStringLiteral("Atualização necessária, clique em OK para executar a atualização agora."));
    const Result<QString> copy = privateCopy(*updater);
    if (!copy || !platform.startDetached(*copy, ProgramFolder::path())) {
        if (copy)
            QDir(QFileInfo(*copy).path()).removeRecursively();
        MessageBox::show(AppTexts::productTitle,
                         QStringLiteral("Não foi possível executar a atualização. Tente novamente mais tarde "
                                        "ou reinstale o programa."),
                         MessageIcon::Critical);
        return StartupOutcome::ShowWindow;
    }
    return StartupOutcome::Quit;
}

} // namespace fiscora
