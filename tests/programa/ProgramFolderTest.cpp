// The user's own program folder of an installed Fiscora: what the first start copies, what later
// starts keep and what they refresh; and an installed layout run as a whole.

#include "core/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using fiscora::ProgramFolder;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<ausente>");
}

const QStringList kDefaults{u"fiscora.ini"_s, u"fiscora.mdb"_s, u"gia_limpa.mdb"_s, u"info.fsc"_s};

} // namespace

class ProgramFolderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString defaults() const { return m_dir.filePath(u"share"_s); }
    QString user() const { return m_dir.filePath(u"usuario/fiscora"_s); }

    // Installed files are read-only, as a package leaves them.
    void install(const QString& name, const QByteArray& bytes) {
        const QString path = defaults() + u'/' + name;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        write(path, bytes);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }

private Q_SLOTS:
    void init() {
        QDir(defaults()).removeRecursively();
        QDir(m_dir.filePath(u"usuario"_s)).removeRecursively();
        for (const QString& name : kDefaults)
            install(name, "original " + name.toUtf8());
    }

    void firstStartCopiesEveryDefaultWritable() {
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        for (const QString& name : kDefaults) {
            const QString copy = user() + u'/' + name;
            QCOMPARE(read(copy), "original " + name.toUtf8());
            QVERIFY2(QFileInfo(copy).isWritable(), qPrintable(name));
        }
        QCOMPARE(QDir(user()).entryList(QDir::Files).size(), kDefaults.size()); // no partial copy left
    }

    // The folder and the database (every company's key, the journal) are the user's alone: made
    // so, and tightened at a later start when an earlier version left them open.
    void folderAndDatabaseArePrivate() {
        const auto mode = [](const QString& path) {
            return QFile::permissions(path) & 0x7077;
        };
        const QString database = user() + u"/fiscora.mdb"_s;
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        QCOMPARE(mode(user()), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(mode(database), QFile::ReadOwner | QFile::WriteOwner);

        QFile::setPermissions(user(), QFile::permissions(user()) | QFile::ReadOther | QFile::ExeOther);
        QFile::setPermissions(database, QFile::permissions(database) | QFile::ReadGroup | QFile::ReadOther);
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        QCOMPARE(mode(user()), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(mode(database), QFile::ReadOwner | QFile::WriteOwner);
    }

    // A new version of the package: its template and stamp replace the old ones, the user's
    // settings and database stay as the user left them, however the defaults changed.
    void upgradeKeepsUserFilesAndRefreshesProgramFiles() {
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        write(user() + u"/fiscora.ini"_s, "[servidor]\nhost=meu.servidor\n");
        write(user() + u"/fiscora.mdb"_s, "contador e empresas");
        for (const QString& name : kDefaults)
            install(name, "nova versão de " + name.toUtf8());

        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        QCOMPARE(read(user() + u"/fiscora.ini"_s), "[servidor]\nhost=meu.servidor\n");
        QCOMPARE(read(user() + u"/fiscora.mdb"_s), "contador e empresas");
        QCOMPARE(read(user() + u"/gia_limpa.mdb"_s), "nova versão de gia_limpa.mdb");
        QCOMPARE(read(user() + u"/info.fsc"_s), "nova versão de info.fsc");
    }

    // A deleted file comes back; a folder that cannot be made is reported, not ignored.
    void missingFileReturnsAndBlockedFolderFails() {
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        QFile::remove(user() + u"/fiscora.mdb"_s);
        QVERIFY(ProgramFolder::fillFromDefaults(defaults(), user()).ok());
        QCOMPARE(read(user() + u"/fiscora.mdb"_s), "original fiscora.mdb");

        write(m_dir.filePath(u"arquivo"_s), "no caminho");
        const fiscora::Status blocked =
            ProgramFolder::fillFromDefaults(defaults(), m_dir.filePath(u"arquivo/pasta"_s));
        QVERIFY(!blocked.ok());
        QVERIFY(blocked.error().description.contains(u"Não foi possível criar a pasta"_s));
    }

    // The real program laid out as installed (bin, libexec/fiscora, share/fiscora) under a user
    // without any folder: it makes its own, finds its reader helper and lists a package.
    void installedLayoutRunsWithItsOwnFolder() {
        const QString built = QString::fromUtf8(FISCORA_BIN_DIR);
        const QString prefix = m_dir.filePath(u"usr"_s);
        QVERIFY(QDir().mkpath(prefix + u"/bin"_s) && QDir().mkpath(prefix + u"/libexec/fiscora"_s) &&
                QDir().mkpath(prefix + u"/share/fiscora"_s));
        QVERIFY(QFile::copy(built + u"/fiscora"_s, prefix + u"/bin/fiscora"_s));
        QVERIFY(
            QFile::copy(built + u"/fiscora-leitor-mdb"_s, prefix + u"/libexec/fiscora/fiscora-leitor-mdb"_s));
        for (const QString& name : kDefaults)
            QVERIFY(QFile::copy(built + u'/' + name, prefix + u"/share/fiscora/"_s + name));

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"FISCORA_PASTA"_s);
        environment.remove(u"XDG_DATA_HOME"_s);
        environment.insert(u"HOME"_s, m_dir.filePath(u"casa"_s));
        program.setProcessEnvironment(environment);
        const QString package = m_dir.filePath(u"pacote.mdb"_s);
        program.start(prefix + u"/bin/fiscora"_s,
                      {u"--converter"_s,
                       QString::fromUtf8(FISCORA_SOURCE_DIR "/tests/fixtures/duas-gias.prf"), package});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        program.start(prefix + u"/bin/fiscora"_s, {u"--listar"_s, package, u"110.042.490.114"_s});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.readAllStandardError(), QByteArray());
        QCOMPARE(program.readAllStandardOutput(), "2\t01/2008\tRPA\tSubstitutiva\n1\t05/2009\tRES\tNormal\n");
        const QString own = m_dir.filePath(u"casa/.local/share/Fiscora/fiscora"_s);
        for (const QString& name : kDefaults)
            QVERIFY2(QFile::exists(own + u'/' + name), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "ProgramFolderTest.moc"
