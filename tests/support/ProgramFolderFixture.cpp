#include "support/ProgramFolderFixture.h"

#include "support/TestSeams.h"

#include <QDir>
#include <QFile>

namespace fiscora::test {

QString buildProgramFolder() {
    const QString fromEnv = qEnvironmentVariable("FISCORA_BIN_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(FISCORA_BIN_DIR) : fromEnv;
}

ProgramFolderFixture::ProgramFolderFixture(const QString& host, int port, bool secure) {
    const QDir bin(buildProgramFolder());
    for (const QString& name : {QStringLiteral("fiscora.mdb"), QStringLiteral("gia_limpa.mdb"),
                                QStringLiteral("fiscora-atualizacao.pub")}) {
        if (bin.exists(name))
            QFile::copy(bin.filePath(name), file(name));
    }
    writeFile(QStringLiteral("info.fsc"), QByteArrayLiteral("1.15.01"));
    setServer(host, port, secure);
    sharedSeams().folder = ProgramFolder(m_dir.path(), bin.path());
}

ProgramFolderFixture::~ProgramFolderFixture() = default;

QString ProgramFolderFixture::file(const QString& name) const {
    return m_dir.filePath(name);
}

void ProgramFolderFixture::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
}

QByteArray ProgramFolderFixture::readFile(const QString& name) const {
    return readBytes(file(name));
}

void ProgramFolderFixture::setServer(const QString& host, int port, bool secure, const QString& proxy) const {
    QByteArray ini = "[servidor]\r\nhost=" + host.toUtf8() + "\r\nport=" + QByteArray::number(port) + "\r\n";
    if (secure)
        ini += "protocolo=https\r\ncertificados=" + QByteArrayLiteral(FISCORA_TEST_TLS_DIR) +
               "/ac-teste.pem\r\n";
    if (!proxy.isEmpty())
        ini += "proxy=" + proxy.toUtf8() + "\r\n";
    writeFile(QStringLiteral("fiscora.ini"), ini);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fiscora::test
