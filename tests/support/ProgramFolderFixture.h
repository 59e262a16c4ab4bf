#pragma once

#include <QString>
#include <QTemporaryDir>

namespace fiscora::test {

// A fresh program folder in a temporary directory, made the test seams' folder (with the build's
// executable folder) for its lifetime:
// fiscora.ini pointing at the given server, info.fsc, and the build's empty fiscora.mdb
// and gia_limpa.mdb when the build has made them.
class ProgramFolderFixture {
public:
    explicit ProgramFolderFixture(const QString& host = QStringLiteral("127.0.0.1"), int port = 8080,
                                  bool secure = false);
    ~ProgramFolderFixture();
    ProgramFolderFixture(const ProgramFolderFixture&) = delete;
    ProgramFolderFixture& operator=(const ProgramFolderFixture&) = delete;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const;
    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;
    // The server's [servidor] section: https with the build's test authority when secure, and
    // a proxy when one is given.
    void setServer(const QString& host, int port, bool secure = false, const QString& proxy = {}) const;

private:
    QTemporaryDir m_dir;
};

// The folder the build lays the program out in.
QString buildProgramFolder();

// A file's bytes; empty when it cannot be read.
QByteArray readBytes(const QString& path);

} // namespace fiscora::test
