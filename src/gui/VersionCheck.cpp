#include "gui/VersionCheck.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Platform.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "net/HttpClient.h"
#include "net/UpdateSignature.h"

#include <QDir>
#include <QSaveFile>
#include <QThread>

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

// Writes a finished download into a local file (see Baixa_Versao).
bool saveDownload(const QString& localFile, const Result<QByteArray>& body) {
    QSaveFile file(localFile);
    bool ok = body && file.open(QIODevice::WriteOnly);
    ok = ok && file.write(*body) == body->size() && file.commit();
    if (!ok) {
        file.cancelWriting();
        MessageBox::show(AppTexts::programTitle,
                         QStringLiteral("Ocorreu um erro durante a transferência do arquivo  !"),
                         MessageIcon::Critical);
    }
    return ok;
}

} // namespace

bool Baixa_Versao(const QString& localFile, const QString& url, qint64 maxBytes) {
    return saveDownload(localFile, HttpClient::download(url, maxBytes));
}

namespace {

// An installed program trusts only the key installed with it (the user's program folder is
// writable by anything the user runs); a build folder keeps its key beside the program.
QString updateKeyPath() {
    const QString defaults = ProgramFolder::installedDefaults();
    if (!defaults.isEmpty())
        return QDir(defaults).filePath(UpdateSignature::publicKeyFile);
    return ProgramFolder::file(UpdateSignature::publicKeyFile);
}

// A file the update server publishes.
QString serverFileUrl(const QString& host, const QString& name) {
    return QStringLiteral("http://") + host + QStringLiteral("/lumo/server/") + name;
}

} // namespace

StartupChecks::StartupChecks()
    : m_administrator(Platform::current().isAdministrator())
    , m_host(serverHost())
    , m_version(AppError::message(QString())) {
    if (!m_administrator)
        return;
    m_fetch.reset(QThread::create([this, url = serverFileUrl(m_host, QStringLiteral("versao.txt"))] {
        m_version = HttpClient::download(url, kMaxVersionFileBytes);
    }));
    m_fetch->start();
}

StartupChecks::~StartupChecks() {
    if (m_fetch)
        m_fetch->wait();
}

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

    m_fetch->wait();
    // Written here, on the window's thread, as the user's messages are.
    const QString versionPath = ProgramFolder::file(kVersionFile);
    saveDownload(versionPath, m_version);

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
    const QString updaterUrl = serverFileUrl(m_host, kUpdaterFile);
    Baixa_Versao(updaterPath, updaterUrl, kMaxUpdaterBytes);
    // Whatever the file now holds runs only with the vendor's signature.
    const Result<QByteArray> signature =
        HttpClient::download(updaterUrl + QStringLiteral(".sig"), UpdateSignature::kMaxSignatureBytes);
    const Status verified = signature ? UpdateSignature::verifyFile(updaterPath, *signature, updateKeyPath())
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
    if (!platform.startDetached(updaterPath)) {
        MessageBox::show(AppTexts::productTitle,
                         QStringLiteral("Não foi possível executar a atualização. Tente novamente mais tarde "
                                        "ou reinstale o programa."),
                         MessageIcon::Critical);
        return StartupOutcome::ShowWindow;
    }
    return StartupOutcome::Quit;
}

} // namespace fiscora
