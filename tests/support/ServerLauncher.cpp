#include "support/ServerLauncher.h"

#include "support/ProgramFolderFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <csignal>
#include <sys/prctl.h>

namespace fiscora::test {

QString builtProgram(const QString& name) {
    return QDir(buildProgramFolder()).filePath(name);
}

namespace {

const QString kSoapPath = QStringLiteral("/lumo/server/index.php");

} // namespace

QString soapUrl(const ServerLauncher& server, const QString& query) {
    return QStringLiteral("%1://%2:%3%4?%5")
        .arg(server.secure() ? QStringLiteral("https") : QStringLiteral("http"), server.host())
        .arg(server.port())
        .arg(kSoapPath, query);
}

QString testAuthorities() {
    return QStringLiteral(FISCORA_TEST_TLS_DIR "/ac-teste.pem");
}

bool makeServerCertificate(const QString& path, const QStringList& names) {
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral(FISCORA_SOURCE_DIR "/scripts/gerar-certificado-tls.sh"),
                 QStringList{QStringLiteral("servidor"), QStringLiteral(FISCORA_TEST_TLS_DIR), path} + names);
    return script.waitForFinished(30000) && script.exitStatus() == QProcess::NormalExit &&
           script.exitCode() == 0;
}

int soapCalls(const ServerLauncher& server) {
    int count = 0;
    for (const QString& line : server.requests())
        count += line.startsWith(QStringLiteral("POST ") + kSoapPath) ? 1 : 0;
    return count;
}

ServerLauncher::ServerLauncher() = default;

ServerLauncher::~ServerLauncher() {
    stop();
}

void ServerLauncher::writeDataFile(const QString& name, const QByteArray& bytes) const {
    QFile file(dataFile(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString ServerLauncher::dataFile(const QString& name) const {
    return m_data.filePath(name);
}

bool ServerLauncher::start(const QStringList& extraArguments) {
    stop();
    QFile::remove(dataFile(QStringLiteral("pronto")));
    for (int attempt = 0; attempt < 8; ++attempt) {
        // A random loopback address keeps parallel test programs apart.
        QRandomGenerator* random = QRandomGenerator::global();
        m_host = QStringLiteral("127.%1.%2.%3")
                     .arg(random->bounded(1, 255))
                     .arg(random->bounded(0, 256))
                     .arg(random->bounded(1, 255));
        QStringList arguments{QStringLiteral("--endereco"), m_host,
                              QStringLiteral("--porta"),    QString::number(m_port),
                              QStringLiteral("--dados"),    m_data.path()};
        // The server signs the updater it serves with the build's demo key.
        arguments << QStringLiteral("--chave-atualizacao") << QStringLiteral(FISCORA_UPDATE_KEY);
        if (m_secure) {
            const QString certificate = dataFile(QStringLiteral("servidor-tls"));
            if (!makeServerCertificate(certificate, {m_host})) {
                m_error = QStringLiteral("o certificado do servidor não pôde ser feito");
                return false;
            }
            arguments << QStringLiteral("--certificado") << certificate + QStringLiteral(".pem")
                      << QStringLiteral("--chave-certificado") << certificate + QStringLiteral(".key");
        }
        arguments += extraArguments;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that crashes must not leave its server running (and holding ctest's pipe).
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(builtProgram(QStringLiteral("fiscora-servidor")), arguments);
        if (!m_process.waitForStarted(5000)) {
            m_error = m_process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && m_process.state() == QProcess::Running) {
            QFile ready(dataFile(QStringLiteral("pronto")));
            if (ready.open(QIODevice::ReadOnly)) {
                const QByteArray text = ready.readAll();
                m_portal = !text.contains("portal=0");
                return true;
            }
            m_process.waitForFinished(20);
        }
        m_error = QStringLiteral("o servidor não ficou pronto (%1)").arg(m_process.exitCode());
        stop();
    }
    return false;
}

void ServerLauncher::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QStringList ServerLauncher::requests() const {
    QFile file(dataFile(QStringLiteral("requisicoes.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace fiscora::test
