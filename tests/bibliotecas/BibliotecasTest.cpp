// The system libraries the windows open only when a task needs them, and the emblem decoded
// without Qt's image plugins: what keeps them off the way to the start-up window.

#include "core/ProgramModule.h"
#include "core/Session.h"
#include "gui/Abertura.h"
#include "gui/GuiStartup.h"
#include "gui/Images.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"
#include "support/TestMessageBox.h"
#include "support/TestPlatform.h"
#include "support/TestServices.h"

#include <QColorSpace>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray dynamicSection(const QString& file) {
    QProcess readelf;
    readelf.start(u"readelf"_s, {u"-d"_s, file});
    readelf.waitForFinished(30000);
    return readelf.readAllStandardOutput();
}

bool loaded(const char* library) {
    QFile maps(u"/proc/self/maps"_s);
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

} // namespace

class BibliotecasTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Before any exchange in this process (the tests above make none): the window comes up
    // before libcurl and libcrypto are loaded, and the version check behind it loads them.
    void startupWindowComesBeforeTheNetworkLibraries() {
        fiscora::test::ServerLauncher server;
        server.writeDataFile(u"versao.txt"_s, "1.15.01");
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const fiscora::test::ProgramFolderFixture folder(server.host(), server.port());
        fiscora::test::TestMessageBox boxes;
        fiscora::test::TestPlatform platform;
        fiscora::Session session;
        fiscora::MainWindowHost mainWindow(session, fiscora::test::sharedServices());
        const std::unique_ptr<fiscora::Abertura> window(
            fiscora::openStartupWindow(session, fiscora::test::sharedServices(), mainWindow));
        QVERIFY(window && window->isVisible());
        QVERIFY(!loaded("libcurl.so") && !loaded("libcrypto.so"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->checking(), 20000);
        QVERIFY(loaded("libcurl.so") && loaded("libcrypto.so"));
    }

    // Linked libraries are loaded and relocated before the first window, used or not. SQLite, which
    // needs nothing else, is linked.
    void windowsModuleLinksNeitherOpenSslNorCurl() {
        const QByteArray dynamic = dynamicSection(QStringLiteral(FISCORA_BIN_DIR "/fiscora-janelas.so"));
        QVERIFY2(dynamic.contains("libQt6Widgets"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libcrypto"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libssl"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libcurl"), dynamic.constData());
    }

    // They are linked into the module the windows load on first use.
    void networkModuleLinksCurlAndOpenSsl() {
        const QByteArray dynamic = dynamicSection(QStringLiteral(FISCORA_BIN_DIR "/fiscora-rede.so"));
        QVERIFY2(dynamic.contains("libcurl.so.4"), dynamic.constData());
        QVERIFY2(dynamic.contains("libcrypto.so"), dynamic.constData());
    }

    void moduleLoadFailuresNameWhatIsMissing_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("named"); // empty: the load succeeds
        QTest::newRow("present") << "fiscora-rede.so"_ba
                                 << "fiscora_rede_certificados"_ba << QString();
        QTest::newRow("no module") << "fiscora-inexistente.so"_ba
                                   << "fiscora_rede"_ba << u"fiscora-inexistente.so"_s;
        QTest::newRow("no entry") << "fiscora-rede.so"_ba
                                  << "fiscora_inexistente"_ba << u"fiscora_inexistente"_s;
    }
    void moduleLoadFailuresNameWhatIsMissing() {
        QFETCH(QByteArray, module);
        QFETCH(QByteArray, entry);
        QFETCH(QString, named);
        const fiscora::Result<const void*> object =
            fiscora::programModuleObject(module.constData(), entry.constData());
        if (named.isEmpty()) {
            QVERIFY(object.ok() && *object);
            return;
        }
        QVERIFY(!object.ok());
        QVERIFY2(object.error().description.contains(named), qPrintable(object.error().description));
        QVERIFY(object.error().description.contains(u"não pôde ser carregada"_s));
    }

    void emblemDecodesAsQtDecodesIt() {
        const QImage ours = fiscora::brasaoImage();
        QVERIFY(!ours.isNull());
        QImage qt = QImage(u":/imagens/brasao.png"_s, "PNG").convertToFormat(ours.format());
        // Qt also keeps the file's colour space (gAMA, cHRM) beside the pixels; only the pixels are
        // drawn.
        qt.setColorSpace(ours.colorSpace());
        QCOMPARE(ours, qt);
    }
};

QTEST_MAIN(BibliotecasTest)
#include "BibliotecasTest.moc"
