#include "support/ProgramFolderFixture.h"

#include "core/ProgramFolder.h"

#include <QDir>
#include <QFile>

namespace fiscora::test {

QString buildProgramFolder() {
    const QString fromEnv = qEnvironmentVariable("FISCORA_BIN_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(FISCORA_BIN_DIR) : fromEnv;
}

ProgramFolderFixture::ProgramFolderFixture(const QString& host, int port) {
    const QDir bin(buildProgramFolder());
    for (const QString& name : {QStringLiteral("fiscora.mdb"), QStringLiteral("gia_limpa.mdb"),
                                QStringLiteral("fiscora-atualizacao.pub")}) {
        if (bin.exists(name))
            QFile::copy(bin.filePath(name), file(name));
    }
    writeFile(QStringLiteral("info.fsc"), QByteArrayLiteral("1.15.01"));
    setServer(host, port);
    ProgramFolder::set(m_dir.path());
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

void ProgramFolderFixture::setServer(const QString& host, int port) const {
    writeFile(QStringLiteral("fiscora.ini"), QByteArrayLiteral("[servidor]\r\nhost=") + host.toUtf8() +
                                                 QByteArrayLiteral("\r\nport=") + QByteArray::number(port) +
                                                 QByteArrayLiteral("\r\n"));
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fiscora::test
