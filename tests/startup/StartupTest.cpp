#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "data/TransmissionJournal.h"
#include "gui/Abertura.h"
#include "gui/GuiStartup.h"
#include "gui/Principal.h"
#include "gui/Sobre.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"
#include "support/TestMessageBox.h"
#include "support/TestPlatform.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"
#include "transmission/StartupCheck.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace fiscora;
using namespace fiscora::test;

namespace {

const QString kNoConnection =
    QStringLiteral("Não foi possível se comunicar com a internet, verifique sua conexão");
const QString kTransferFailed = QStringLiteral("Ocorreu um erro durante a transferência do arquivo  !");
const QString kUpdate =
    QStringLiteral("Atualização necessária, clique em OK para executar a atualização agora.");
const QString kUnverified = QStringLiteral("não pôde ser verificada");
// A valid Ed25519 public key that is not the build's.
const QByteArray kOtherKey = "-----BEGIN PUBLIC KEY-----\n"
                             "MCowBQYDK2VwAyEAA0Ewh1vyc+QdTSeqr/Ujr4QDSzOZtyOSSNdbCtpBTo0=\n"
                             "-----END PUBLIC KEY-----\n";

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Each box's message without the reason that may follow it.
QStringList leads(const TestMessageBox& boxes) {
    QStringList texts;
    for (const QString& text : boxes.texts())
        texts << text.section(QStringLiteral("\r\n\r\n"), 0, 0);
    return texts;
}

// The vendor's signature of an updater announced as a version, made as the vendor makes it.
bool signUpdater(const QByteArray& version, const QByteArray& updater, const QString& out) {
    QTemporaryDir work;
    const QString file = work.filePath(QStringLiteral("atualizador"));
    if (!writeBytes(file, updater))
        return false;
    QProcess sign;
    sign.start(QStringLiteral(FISCORA_SOURCE_DIR "/scripts/assinar-atualizacao.sh"),
               {QStringLiteral(FISCORA_UPDATE_KEY), QString::fromLatin1(version), file, out});
    return sign.waitForFinished(20000) && sign.exitStatus() == QProcess::NormalExit && sign.exitCode() == 0;
}

// The check as the start-up window runs it, waited for; neither outcome when it never ends.
StartupOutcome runStartupChecks() {
    StartupCheck check{sharedServices().http, sharedSeams()()};
    check.start();
    return await<StartupOutcome>([&](QObject* context, std::function<void(StartupOutcome)> done) {
               check.whenFinished(context, std::move(done));
           })
        .value_or(StartupOutcome(-1));
}

} // namespace

class StartupTest final : public QObject {
    Q_OBJECT

private:
    Session m_session;
    // The main window's journal: an empty one of the build's, whatever folder a test makes.
    QTemporaryDir m_journalFolder;
    std::unique_ptr<TransmissionJournal> m_journal;
    Services m_services = testServices();
    std::optional<MainWindowHost> m_host;

    static Principal* mainWindow() { return topLevelWindow<Principal>(); }

    // A server publishing the given version text, and a program folder pointing at it.
    struct Scene {
        ServerLauncher server;
        std::unique_ptr<ProgramFolderFixture> folder;
        TestMessageBox boxes;
        TestPlatform platform;
    };

    std::unique_ptr<Scene> makeScene(const QByteArray& serverVersion, const QByteArray& updater = "UPDATER-1",
                                     bool secure = false) {
        auto scene = std::make_unique<Scene>();
        scene->server.setSecure(secure);
        scene->server.writeDataFile(QStringLiteral("versao.txt"), serverVersion);
        scene->server.writeDataFile(QStringLiteral("atualizacao_fiscora.exe"), updater);
        if (!scene->server.start())
            qWarning("server did not start: %s", qUtf8Printable(scene->server.errorString()));
        scene->folder =
            std::make_unique<ProgramFolderFixture>(scene->server.host(), scene->server.port(), secure);
        return scene;
    }

    bool portalMissing(const Scene& scene) { return !scene.server.portalAvailable(); }

private Q_SLOTS:
    void initTestCase() {
        const QString journalFile = m_journalFolder.filePath(QStringLiteral("fiscora.mdb"));
        QVERIFY(QFile::copy(buildProgramFolder() + QStringLiteral("/fiscora.mdb"), journalFile));
        m_journal = std::make_unique<TransmissionJournal>(journalFile, sharedSeams().clock);
        m_services.journal = m_journal.get();
        m_host.emplace(m_session, m_services);
    }
    void cleanup() { deleteTopLevelWindows(); }

    void equalVersionsShowTheWindow_data() {
        QTest::addColumn<QByteArray>("stamp");
        QTest::addColumn<QByteArray>("published");
        QTest::newRow("same text") << QByteArray("1.15.01") << QByteArray("1.15.01");
        QTest::newRow("stamp with CR LF, server without line end")
            << QByteArray("1.15.01\r\n") << QByteArray("1.15.01");
        QTest::newRow("server with LF") << QByteArray("1.15.01") << QByteArray("1.15.01\n");
    }

    void equalVersionsShowTheWindow() {
        QFETCH(QByteArray, stamp);
        QFETCH(QByteArray, published);
        auto scene = makeScene(published);
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        scene->folder->writeFile(QStringLiteral("info.fsc"), stamp);

        Abertura* window = openStartupWindow(m_session, sharedServices(), *m_host);
        QVERIFY(window && window->isVisible());
        // The window is up while the check runs; Iniciar waits for it.
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window->checking(), 20000);
        QVERIFY(window->findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled());
        QVERIFY(scene->boxes.shown().isEmpty());
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Fiscora - Prefeitura Municipal de Valdorra - Versão 1.15.01"));
        QStringList captions;
        for (const char* name : {"Command1", "Command2", "Command3"})
            captions << window->findChild<QPushButton*>(QLatin1String(name))->text();
        QCOMPARE(captions,
                 (QStringList{QStringLiteral("Iniciar"), QStringLiteral("Sobre"), QStringLiteral("Sair")}));
        QCOMPARE(scene->folder->readFile(QStringLiteral("versao_ar.txt")), published);
        QVERIFY(scene->platform.started.isEmpty());
        window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        QVERIFY(mainWindow());
        QCOMPARE(mainWindow()->findChild<QLabel*>(QStringLiteral("lblAtualizado"))->text(),
                 QStringLiteral("O programa está atualizado"));
    }

    void differentVersionsStartTheUpdater_data() {
        QTest::addColumn<QByteArray>("published");
        QTest::addColumn<bool>("secure");
        QTest::newRow("newer version") << QByteArray("1.16.00") << false;
        QTest::newRow("newer version over TLS") << QByteArray("1.16.00") << true;
        QTest::newRow("trailing blank differs") << QByteArray("1.15.01 ") << false;
        QTest::newRow("only a line end") << QByteArray("\r\n") << false;
        QTest::newRow("error page") << QByteArray("<html>erro</html>") << false;
    }

    void differentVersionsStartTheUpdater() {
        QFETCH(QByteArray, published);
        QFETCH(bool, secure);
        const QByteArray updater("\x7f"
                                 "ELF updater bytes \x00\xff",
                                 22);
        auto scene = makeScene(published, updater, secure);
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        // An earlier update's private folder goes at this start.
        const QString earlier = scene->folder->file(QStringLiteral("atualizacao-Ab12cD"));
        QVERIFY(QDir().mkdir(earlier, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeBytes(earlier + QStringLiteral("/atualizacao_fiscora.exe"), "antigo"));
        // The kept file swapped while the message waits: what starts is still what was checked.
        const QString kept = scene->folder->file(QStringLiteral("atualizacao_fiscora.exe"));
        QByteArray keptWhenShown;
        scene->boxes.onShow = [&](const MessageRequest&) {
            keptWhenShown = readBytes(kept);
            scene->folder->writeFile(QStringLiteral("atualizacao_fiscora.exe"), "trocado");
        };

        QCOMPARE(runStartupChecks(), StartupOutcome::Quit);
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest& box = scene->boxes.shown().first();
        QCOMPARE(box.title, QStringLiteral("Fiscora"));
        QCOMPARE(box.text, kUpdate);
        QCOMPARE(box.icon, MessageIcon::None);
        QCOMPARE(box.buttons, MessageButtons::Ok);
        QCOMPARE(keptWhenShown, updater);
        QCOMPARE(scene->platform.started.size(), 1);
        const QFileInfo started(scene->platform.started.first());
        QCOMPARE(readBytes(started.filePath()), updater);
        QVERIFY(started.isExecutable());
        // In a new folder of the program folder that only the user can enter.
        QCOMPARE(QFileInfo(started.path()).path(), scene->folder->path());
        QCOMPARE(QFileInfo(started.path()).permissions() &
                     (QFile::ReadOther | QFile::ExeOther | QFile::ExeGroup),
                 QFileDevice::Permissions());
        QCOMPARE(scene->platform.startedFolders, QStringList{scene->folder->path()});
        QVERIFY(!QFileInfo::exists(earlier));
    }

    // A download never writes through a symbolic link: the link is replaced, its target kept.
    void downloadsReplaceLinksNotTheirTargets() {
        auto scene = makeScene("1.16.00", "UPDATER-3");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QTemporaryDir outside;
        const QStringList names{QStringLiteral("versao_ar.txt"), QStringLiteral("atualizacao_fiscora.exe")};
        for (const QString& name : names) {
            QVERIFY(writeBytes(outside.filePath(name), "alvo"));
            QVERIFY(QFile::link(outside.filePath(name), scene->folder->file(name)));
        }
        QCOMPARE(runStartupChecks(), StartupOutcome::Quit);
        for (const QString& name : names) {
            QCOMPARE(readBytes(outside.filePath(name)), QByteArray("alvo"));
            QVERIFY(!QFileInfo(scene->folder->file(name)).isSymLink());
        }
        QCOMPARE(scene->folder->readFile(names.at(0)), QByteArray("1.16.00"));
        QCOMPARE(scene->folder->readFile(names.at(1)), QByteArray("UPDATER-3"));
    }

    // The outcome reaches whoever waits for it, asked before the check ends or after: the start-up
    // window's buttons never stay disabled for an answer that came in between.
    void outcomeReachesEveryAsker() {
        auto scene = makeScene("1.15.01");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        scene->folder->writeFile(QStringLiteral("info.fsc"), "1.15.01");
        StartupCheck check{sharedServices().http, sharedSeams()()};
        QObject context;
        QList<StartupOutcome> early;
        QList<StartupOutcome> late;
        check.whenFinished(&context, [&](StartupOutcome outcome) { early.append(outcome); });
        check.start();
        QTRY_COMPARE(early, QList{StartupOutcome::ShowWindow});
        check.whenFinished(&context, [&](StartupOutcome outcome) { late.append(outcome); });
        QVERIFY(late.isEmpty()); // later, never inside the call
        QTRY_COMPARE(late, QList{StartupOutcome::ShowWindow});
        QCOMPARE(early.size(), 1);
        QVERIFY(check.versionConfirmed());
    }

    void shorterVersionReplacesLongerCopy() {
        auto scene = makeScene("1.15.01");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        scene->folder->writeFile(QStringLiteral("versao_ar.txt"), QByteArray(4096, 'x'));
        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        QCOMPARE(scene->folder->readFile(QStringLiteral("versao_ar.txt")), QByteArray("1.15.01"));
    }

    void emptyVersionFileMeansNoConnection() {
        auto scene = makeScene("");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        QCOMPARE(scene->boxes.texts(), QStringList{kNoConnection});
        QCOMPARE(scene->boxes.shown().first().icon, MessageIcon::Critical);
        QVERIFY(scene->platform.started.isEmpty());
    }

    // The messages name the host and what failed; the main window does not claim a check.
    void failedCheckNamesItsReason_data() {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("server down") << false << QStringLiteral("recusou a conexão");
        QTest::newRow("certificate refused") << true << QStringLiteral("não foi aceito");
    }

    void failedCheckNamesItsReason() {
        QFETCH(bool, secure);
        QFETCH(QString, reason);
        auto scene = makeScene("1.15.01", "UPDATER-1", secure);
        if (secure) // the system's authorities do not know the test authority
            scene->folder->writeFile(QStringLiteral("fiscora.ini"),
                                     "[servidor]\r\nhost=" + scene->server.host().toUtf8() +
                                         "\r\nport=" + QByteArray::number(scene->server.port()) +
                                         "\r\nprotocolo=https\r\n");
        else
            scene->server.stop();
        Abertura* window = openStartupWindow(m_session, sharedServices(), *m_host);
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(!window->checking(), 20000);
        QCOMPARE(leads(scene->boxes), (QStringList{kTransferFailed, kNoConnection}));
        QCOMPARE(scene->boxes.shown().first().title, QStringLiteral("fiscora"));
        for (const QString& text : scene->boxes.texts()) {
            QVERIFY2(text.contains(scene->server.host()) && text.contains(reason), qPrintable(text));
        }
        QVERIFY(!QFile::exists(scene->folder->file(QStringLiteral("versao_ar.txt"))));
        window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        QVERIFY(mainWindow());
        QCOMPARE(mainWindow()->findChild<QLabel*>(QStringLiteral("lblAtualizado"))->text(),
                 QStringLiteral("A versão não pôde ser verificada"));
    }

    void failedDownloadKeepsThePreviousCopy() {
        auto scene = makeScene("1.15.01");
        scene->server.stop();
        scene->folder->writeFile(QStringLiteral("versao_ar.txt"), QByteArray("1.15.01"));
        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        // The old copy still matches the stamp: only the transfer message.
        QCOMPARE(leads(scene->boxes), QStringList{kTransferFailed});
        QCOMPARE(scene->folder->readFile(QStringLiteral("versao_ar.txt")), QByteArray("1.15.01"));
    }

    // A server without the file answers 404: that is a failed download, not a version.
    void missingVersionFileKeepsThePreviousCopy() {
        auto scene = makeScene("1.15.01");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QFile::remove(scene->server.dataFile(QStringLiteral("versao.txt")));
        scene->folder->writeFile(QStringLiteral("versao_ar.txt"), QByteArray("1.15.01"));
        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        QCOMPARE(leads(scene->boxes), QStringList{kTransferFailed});
        QVERIFY(scene->boxes.texts().first().contains(QStringLiteral("404")));
        QCOMPARE(scene->folder->readFile(QStringLiteral("versao_ar.txt")), QByteArray("1.15.01"));
        QVERIFY(scene->platform.started.isEmpty());
    }

    // An updater runs only with a signature made by the key installed with the program, beside
    // its executable; the program folder's copy of the build's key (the fixture's) is not it.
    void unverifiedUpdaterIsKeptNotStarted_data() {
        QTest::addColumn<QByteArray>("installedKey"); // empty: none installed
        QTest::addColumn<bool>("serverSigns");
        QTest::newRow("another vendor's key") << kOtherKey << true;
        QTest::newRow("no signature published") << QByteArray("build") << false;
        QTest::newRow("no key installed") << QByteArray() << true;
        QTest::newRow("key file damaged") << QByteArray("-----BEGIN PUBLIC KEY-----\nxx\n") << true;
    }

    void unverifiedUpdaterIsKeptNotStarted() {
        QFETCH(QByteArray, installedKey);
        QFETCH(bool, serverSigns);
        auto scene = std::make_unique<Scene>();
        scene->server.writeDataFile(QStringLiteral("versao.txt"), "1.16.00");
        scene->server.writeDataFile(QStringLiteral("atualizacao_fiscora.exe"), "UPDATER-2");
        QVERIFY(serverSigns ? scene->server.start()
                            : scene->server.start(
                                  {QStringLiteral("--chave-atualizacao"), QStringLiteral("/nao/existe")}));
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        scene->folder = std::make_unique<ProgramFolderFixture>(scene->server.host(), scene->server.port());
        QVERIFY(QFile::exists(scene->folder->file(QStringLiteral("fiscora-atualizacao.pub"))));
        QTemporaryDir programs;
        const QString key = programs.filePath(QStringLiteral("fiscora-atualizacao.pub"));
        QVERIFY(
            QFile::copy(QDir(buildProgramFolder()).filePath(QStringLiteral("fiscora-atualizacao.pub")), key));
        if (installedKey.isEmpty())
            QFile::remove(key);
        else if (installedKey != "build")
            QVERIFY(writeBytes(key, installedKey));
        sharedSeams().folder = ProgramFolder(scene->folder->path(), programs.path());

        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest& box = scene->boxes.shown().first();
        QVERIFY2(box.text.contains(kUnverified), qPrintable(box.text));
        QVERIFY(box.text.contains(
            QDir::toNativeSeparators(scene->folder->file(QStringLiteral("atualizacao_fiscora.exe")))));
        QCOMPARE(box.icon, MessageIcon::Warning);
        QVERIFY(scene->platform.started.isEmpty());
        QCOMPARE(scene->folder->readFile(QStringLiteral("atualizacao_fiscora.exe")), QByteArray("UPDATER-2"));
    }

    // Only an updater downloaded in this start, signed for the version announced with it, and
    // not older than the running program, is started.
    void oldOrReplayedUpdaterNeverStarts_data() {
        QTest::addColumn<QByteArray>("published");
        QTest::addColumn<QByteArray>("served");        // empty: the server has none
        QTest::addColumn<QByteArray>("signedVersion"); // empty: the server signs what it serves
        QTest::addColumn<QByteArray>("kept");          // an earlier update's file, signed as published
        QTest::addColumn<QString>("message");
        const QString older = QStringLiteral("anterior à versão em uso (1.15.01)");
        QTest::newRow("older version")
            << QByteArray("1.14.00") << QByteArray("U-1.14") << QByteArray() << QByteArray() << older;
        QTest::newRow("older by number, newer by text")
            << QByteArray("1.9.00\r\n") << QByteArray("U-1.9") << QByteArray() << QByteArray() << older;
        QTest::newRow("old updater announced as newer")
            << QByteArray("1.16.00") << QByteArray("U-1.14") << QByteArray("1.14.00") << QByteArray()
            << kUnverified;
        QTest::newRow("download failed, earlier updater kept")
            << QByteArray("1.16.00") << QByteArray() << QByteArray("1.16.00") << QByteArray("U-kept")
            << kUnverified;
    }

    void oldOrReplayedUpdaterNeverStarts() {
        QFETCH(QByteArray, published);
        QFETCH(QByteArray, served);
        QFETCH(QByteArray, signedVersion);
        QFETCH(QByteArray, kept);
        QFETCH(QString, message);
        auto scene = makeScene(published, served);
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        if (served.isEmpty())
            QFile::remove(scene->server.dataFile(QStringLiteral("atualizacao_fiscora.exe")));
        if (!signedVersion.isEmpty())
            QVERIFY(signUpdater(signedVersion, served.isEmpty() ? kept : served,
                                scene->server.dataFile(QStringLiteral("atualizacao_fiscora.exe.sig"))));
        const QString keptPath = scene->folder->file(QStringLiteral("atualizacao_fiscora.exe"));
        if (!kept.isEmpty())
            scene->folder->writeFile(QStringLiteral("atualizacao_fiscora.exe"), kept);

        QCOMPARE(runStartupChecks(), StartupOutcome::ShowWindow);
        QVERIFY(scene->platform.started.isEmpty());
        const MessageRequest& box = scene->boxes.shown().last();
        QVERIFY2(box.text.contains(message), qPrintable(box.text));
        QCOMPARE(box.icon, MessageIcon::Warning);
        // A file not downloaded now is never named as the download.
        if (served.isEmpty()) {
            for (const QString& text : scene->boxes.texts())
                QVERIFY2(!text.contains(QDir::toNativeSeparators(keptPath)), qPrintable(text));
        }
    }

    void noAdministratorRights() {
        auto scene = makeScene("1.16.00");
        scene->platform.administrator = false;
        QVERIFY(!openStartupWindow(m_session, sharedServices(), *m_host));
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest& box = scene->boxes.shown().first();
        QCOMPARE(box.title, QStringLiteral("ICMS"));
        QCOMPARE(box.text,
                 QStringLiteral("Seu usuário não possui privilégios administrativos\r\n\r\nPor favor, "
                                "solicite ao Departamento de Informática permissões. A aplicação "
                                "será encerrada."));
        QCOMPARE(box.icon, MessageIcon::Critical);
        QVERIFY(scene->server.requests().isEmpty());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void missingStampMeansNoConnection() {
        auto scene = makeScene("1.15.01");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QFile::remove(scene->folder->file(QStringLiteral("info.fsc")));
        // The window is up while the check runs, and cannot be started from before its message.
        bool startable = false;
        Abertura* window = nullptr;
        scene->boxes.onShow = [&](const MessageRequest&) {
            startable = window->findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled();
        };
        window = openStartupWindow(m_session, sharedServices(), *m_host);
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(!window->checking(), 20000);
        QCOMPARE(leads(scene->boxes), QStringList{kNoConnection});
        QVERIFY(scene->boxes.texts().first().contains(QStringLiteral("info.fsc")));
        QVERIFY(!startable);
    }

    // The start-up window is up during the check; the updater started closes it and ends the program.
    void startedUpdaterClosesTheStartupWindow() {
        auto scene = makeScene("1.16.00", QByteArray("UPDATER"));
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QPointer<Abertura> window = openStartupWindow(m_session, sharedServices(), *m_host);
        QVERIFY(window && window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(scene->platform.quitCalls, 1, 20000);
        QVERIFY(!window || !window->isVisible());
        QCOMPARE(scene->platform.started.size(), 1);
    }

    void updaterThatCannotStartLeavesTheProgramUsable() {
        auto scene = makeScene("1.16.00");
        if (portalMissing(*scene))
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        scene->platform.startSucceeds = false;
        Abertura* window = openStartupWindow(m_session, sharedServices(), *m_host);
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(!window->checking(), 20000);
        QCOMPARE(scene->boxes.shown().size(), 2);
        QCOMPARE(scene->boxes.shown().at(1).icon, MessageIcon::Critical);
    }

    void startButtonsLeadToTheMainWindow() {
        // No server: the check ends at once, and the buttons are usable.
        auto scene = makeScene("1.15.01");
        scene->server.stop();
        const auto opened = [this] {
            Abertura* window = openStartupWindow(m_session, sharedServices(), *m_host);
            return window && QTest::qWaitFor([window] { return !window->checking(); }, 20000) ? window
                                                                                              : nullptr;
        };

        Abertura* start = opened();
        QVERIFY(start);
        start->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        QVERIFY(mainWindow());
        QVERIFY(mainWindow()->isVisible());
        QTRY_VERIFY(!start->isVisible());
        deleteTopLevelWindows();

        start = opened();
        QVERIFY(start);
        start->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        auto* about = qobject_cast<Sobre*>(
            QApplication::activeModalWidget() ? QApplication::activeModalWidget() : nullptr);
        if (!about) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* s = qobject_cast<Sobre*>(w))
                    about = s;
            }
        }
        QVERIFY(about);
        QVERIFY(!mainWindow() || !mainWindow()->isVisible());
        about->accept();
        QVERIFY(mainWindow());
        QVERIFY(mainWindow()->isVisible());
        QVERIFY(mainWindow()->isEnabled());

        start = opened();
        QVERIFY(start);
        start->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        QCOMPARE(scene->platform.quitCalls, 1);
    }

    void screenshot() {
        ProgramFolderFixture folder;
        Abertura window(sharedSeams()());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString dir = QDir(buildProgramFolder()).filePath(QStringLiteral("../screenshots"));
        QDir().mkpath(dir);
        QVERIFY(window.grab().save(QDir(dir).filePath(QStringLiteral("abertura.png"))));
        // Nothing clipped: the layout's wish fits the window.
        QVERIFY(window.minimumSizeHint().width() <= window.width());
        QVERIFY(window.minimumSizeHint().height() <= window.height());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
