#include "transmission/StartupCheck.h"

#include "core/AppTexts.h"
#include "core/Cp1252.h"
#include "core/MessageBox.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/TextFile.h"
#include "net/HttpClient.h"
#include "net/UpdateSignature.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace fiscora {

namespace {

const QString kVersionFile = QStringLiteral("versao_ar.txt");
const QString kStampFile = QStringLiteral("info.fsc");
const QString kUpdaterFile = QStringLiteral("atualizacao_fiscora.exe");

// Larger answers are failed downloads: a version text is a line, the updater an installer.
constexpr qint64 kMaxVersionFileBytes = qint64(64) << 10;
constexpr qint64 kMaxUpdaterBytes = qint64(64) << 20;

// The reason, when one is known, follows the message.
QString withReason(const QString& message, const QString& reason) {
    return reason.isEmpty() ? message : QString(message + QStringLiteral("\r\n\r\n") + reason);
}

void showNoConnection(MessageBox& messages, const QString& reason) {
    messages.show(
        AppTexts::productTitle,
        withReason(QStringLiteral("Não foi possível se comunicar com a internet, verifique sua conexão"),
                   reason),
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
// body arrived and was written. On failure shows the transfer message with its reason, and
// returns the reason (empty on success).
QString saveDownload(MessageBox& messages, const QString& localFile, const Result<QByteArray>& body) {
    if (body && replaceFile(localFile, *body))
        return {};
    const QString reason =
        body ? QStringLiteral("O arquivo %1 não pôde ser gravado.").arg(QDir::toNativeSeparators(localFile))
             : body.error().description;
    messages.show(AppTexts::programTitle,
                  withReason(QStringLiteral("Ocorreu um erro durante a transferência do arquivo  !"), reason),
                  MessageIcon::Critical);
    return reason;
}

// The key comes with the program: the installed defaults, or the executable's own folder in a
// build or copied folder. Never the program folder, which --pasta or FISCORA_PASTA may name (and
// an installed program's is writable by anything the user runs).
QString updateKeyPath(const ProgramFolder& program) {
    const QString defaults = program.installedDefaults();
    return QDir(defaults.isEmpty() ? program.executableFolder() : defaults)
        .filePath(UpdateSignature::publicKeyFile);
}

// The version the server announces, as it is signed: the version file's text without white
// space at either end.
QByteArray announcedVersion(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(kMaxVersionFileBytes).trimmed() : QByteArray();
}

// Dotted numbers ("1.15.01") compared part by part, a missing part counting as 0. Empty when
// either is not of that form.
std::optional<int> compareVersions(const QString& a, const QString& b) {
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    const auto number = [](const QStringList& parts, qsizetype i, bool* ok) -> qulonglong {
        if (i >= parts.size())
            return 0;
        const QString& part = parts.at(i);
        const bool digits =
            !part.isEmpty() && part.size() <= 9 &&
            std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        *ok = *ok && digits;
        return digits ? part.toULongLong() : 0;
    };
    bool ok = true;
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qulonglong l = number(left, i, &ok);
        const qulonglong r = number(right, i, &ok);
        if (!ok)
            return std::nullopt;
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

// Every update leaves the private folder its updater ran from; it may still be running when the
// program ends, so the folders go at the next start. Only folders of this user's own, as
// mkdtemp makes them, are taken; a symbolic link is never followed.
void removeUpdateFolders(const ProgramFolder& program) {
    const QDir folder(program.path());
    const QFileInfoList entries = folder.entryInfoList({QStringLiteral("atualizacao-??????")},
                                                       QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || entry.ownerId() != ::getuid() ||
            entry.permissions().testAnyFlags(QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                             QFile::ExeOther))
            continue;
        QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

// A fresh copy of the checked bytes to start: a new file, made exclusively in a new folder only
// this user can enter, so nothing can swap it between the check and the start (the kept file in
// the program folder can be replaced while the update message waits for OK).
Result<QString> privateCopy(const ProgramFolder& program, const QByteArray& bytes) {
    QByteArray folder = QFile::encodeName(program.file(QStringLiteral("atualizacao-XXXXXX")));
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

StartupCheck::StartupCheck(const HttpClient& http, const Seams& seams, QObject* parent)
    : QObject(parent)
    , m_platform(seams.platform)
    , m_messages(seams.messages)
    , m_administrator(seams.platform.isAdministrator())
    , m_http(http)
    , m_server(ServerAddress::fromSettings(http.folder())) {}

StartupCheck::~StartupCheck() = default;

void StartupCheck::start() {
    if (m_started)
        return;
    m_started = true;
    removeUpdateFolders(m_http.folder());
    m_http.download(m_server.portalFile(QStringLiteral("versao.txt")), kMaxVersionFileBytes, this,
                    [this](Result<QByteArray> body) { versionFetched(body); });
}

void StartupCheck::whenFinished(QObject* context, std::function<void(StartupOutcome)> done) {
    if (!m_outcome) {
        m_waiting.append({context, std::move(done)});
        return;
    }
    QTimer::singleShot(0, context, [done = std::move(done), outcome = *m_outcome] { done(outcome); });
}

void StartupCheck::finish(StartupOutcome outcome) {
    m_outcome = outcome;
    const QList<Waiter> waiting = std::exchange(m_waiting, {});
    for (const Waiter& waiter : waiting) {
        if (waiter.context)
            waiter.done(outcome);
    }
}

void StartupCheck::versionFetched(const Result<QByteArray>& body) {
    m_versionConfirmed = false;
    const QString versionPath = m_http.folder().file(kVersionFile);
    const QString fetchFailure = saveDownload(m_messages, versionPath, body);

    // An unreadable copy or stamp counts as no connection: the user can still work.
    const Result<QString> serverVersion = ReadFile(versionPath);
    if (!serverVersion || trimBlanks(*serverVersion).isEmpty()) {
        showNoConnection(m_messages, fetchFailure);
        finish(StartupOutcome::ShowWindow);
        return;
    }
    const Result<QString> stamp = ReadFile(m_http.folder().file(kStampFile));
    if (!stamp) {
        showNoConnection(m_messages, stamp.error().description);
        finish(StartupOutcome::ShowWindow);
        return;
    }
    if (*stamp == *serverVersion) {
        m_versionConfirmed = fetchFailure.isEmpty();
        finish(StartupOutcome::ShowWindow);
        return;
    }

    // A withdrawn release is replaced by a higher number, never by an older one: an older version
    // is what replaying an old signed updater looks like.
    m_announced = announcedVersion(versionPath);
    const QString announcedText = Cp1252::decode(m_announced.left(64));
    const QString running = QStringLiteral(FISCORA_VERSION);
    if (compareVersions(announcedText, running).value_or(0) < 0) {
        m_messages.show(AppTexts::productTitle,
                        QStringLiteral("O servidor anuncia a versão %1 do Fiscora, anterior à versão em uso "
                                       "(%2). A atualização não será executada.")
                            .arg(announcedText, running),
                        MessageIcon::Warning);
        finish(StartupOutcome::ShowWindow);
        return;
    }

    // What is checked, and later started, is the bytes downloaded now, never a file, which can
    // change or be left from an earlier update.
    m_http.download(m_server.portalFile(kUpdaterFile), kMaxUpdaterBytes, this,
                    [this](Result<QByteArray> updater) { updaterFetched(updater); });
}

void StartupCheck::updaterFetched(const Result<QByteArray>& updater) {
    const bool kept = saveDownload(m_messages, m_http.folder().file(kUpdaterFile), updater).isEmpty();
    if (!updater) {
        signatureFetched({}, kept, Status(updater.error()));
        return;
    }
    m_http.download(
        m_server.portalFile(kUpdaterFile) + QStringLiteral(".sig"), UpdateSignature::kMaxSignatureBytes, this,
        [this, bytes = *updater, kept](Result<QByteArray> signature) {
            signatureFetched(bytes, kept,
                             signature ? UpdateSignature::verifyWithKeyFile(m_announced, bytes, *signature,
                                                                            updateKeyPath(m_http.folder()))
                                       : Status(signature.error()));
        });
}

void StartupCheck::signatureFetched(const QByteArray& updater, bool kept, const Status& verified) {
    if (!verified) {
        const QString announcedText = Cp1252::decode(m_announced.left(64));
        const QString version =
            announcedText.isEmpty() ? QString() : QStringLiteral(" (versão %1)").arg(announcedText);
        QString text = withReason(QStringLiteral("Existe uma atualização do Fiscora%1, mas ela não pôde ser "
                                                 "verificada e não será executada.")
                                      .arg(version),
                                  verified.error().description);
        if (kept)
            text += QStringLiteral("\r\n\r\nO arquivo baixado foi mantido em:\r\n") +
                    QDir::toNativeSeparators(m_http.folder().file(kUpdaterFile));
        m_messages.show(AppTexts::productTitle, text, MessageIcon::Warning);
        finish(StartupOutcome::ShowWindow);
        return;
    }
    m_messages.show(
        AppTexts::productTitle,
        QStringLiteral("Atualização necessária, clique em OK para executar a atualização agora."));
    const Result<QString> copy = privateCopy(m_http.folder(), updater);
    if (!copy || !m_platform.startDetached(*copy, m_http.folder().path())) {
        if (copy)
            QDir(QFileInfo(*copy).path()).removeRecursively();
        m_messages.show(
            AppTexts::productTitle,
            withReason(QStringLiteral("Não foi possível executar a atualização. Tente novamente mais "
                                      "tarde ou reinstale o programa."),
                       copy ? QString() : copy.error().description),
            MessageIcon::Critical);
        finish(StartupOutcome::ShowWindow);
        return;
    }
    finish(StartupOutcome::Quit);
}

} // namespace fiscora
