#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace fiscora::test {

// Starts a real fiscora-servidor on a loopback address of its own (127.x.y.z) with a fresh data
// folder, so tests run side by side. The web service listens on port(), the portal (version
// file, updater, receipts) on port 80 of the same address when it can be bound. A secure server
// speaks TLS on both, its portal on port 443, with a certificate for its address from the build's
// test authority (testAuthorities()).
class ServerLauncher {
public:
    ServerLauncher();
    ~ServerLauncher();
    ServerLauncher(const ServerLauncher&) = delete;
    ServerLauncher& operator=(const ServerLauncher&) = delete;

    // Data files to lay out before start (versao.txt, atualizacao_fiscora.exe, a seed, ...).
    void writeDataFile(const QString& name, const QByteArray& bytes) const;
    QString dataFile(const QString& name) const;

    // extraArguments e.g. {"--semente", path}. False, with errorString(), when it did not start.
    bool start(const QStringList& extraArguments = {});
    // TLS from the next start on.
    void setSecure(bool secure) { m_secure = secure; }
    bool secure() const { return m_secure; }
    void stop();

    QString host() const { return m_host; }
    int port() const { return m_port; }
    bool portalAvailable() const { return m_portal; }
    qint64 processId() const { return m_process.processId(); }
    QString errorString() const { return m_error; }

    // Lines of the server's request log: "METHOD target status".
    QStringList requests() const;

private:
    QTemporaryDir m_data;
    QProcess m_process;
    QString m_host;
    int m_port = 8080;
    bool m_portal = false;
    bool m_secure = false;
    QString m_error;
};

// The path of a program the build made (fiscora, fiscora-servidor).
QString builtProgram(const QString& name);

// The build's test certification authority (PEM), which signs the secure servers' certificates.
QString testAuthorities();
// A certificate and key (PATH.pem, PATH.key) for these names, from the test authority.
bool makeServerCertificate(const QString& path, const QStringList& names);

// The address of the server's web service, with this query.
QString soapUrl(const ServerLauncher& server, const QString& query = QStringLiteral("wsdl"));

// How many web service calls the server has logged.
int soapCalls(const ServerLauncher& server);

} // namespace fiscora::test
