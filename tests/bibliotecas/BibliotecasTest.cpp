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
    // before libcurl and libcrypto are loaded, and the version check behind it loads them. Poppler
    // and Qt Print Support wait for a PDF to read or a receipt to print.
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
        QVERIFY(!loaded("libpoppler") && !loaded("libQt6PrintSupport"));
    }

    // Linked libraries are loaded and relocated before the first window, used or not: each of
    // these is linked into the module that needs it, loaded on first use. SQLite, which needs
    // nothing else, is linked into the windows.
    void librariesLinkedWhereFirstUsed_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<bool>("linked");
        const QString windows = u"fiscora-janelas.so"_s;
        const QString network = u"fiscora-rede.so"_s;
        const QString documents = u"fiscora-documentos.so"_s;
        const QString printing = u"fiscora-impressao.so"_s;
        QTest::newRow("windows: Qt Widgets") << windows << "libQt6Widgets"_ba << true;
        QTest::newRow("windows: no libcrypto") << windows << "libcrypto"_ba << false;
        QTest::newRow("windows: no libssl") << windows << "libssl"_ba << false;
        QTest::newRow("windows: no libcurl") << windows << "libcurl"_ba << false;
        QTest::newRow("windows: no Poppler") << windows << "libpoppler"_ba << false;
        QTest::newRow("windows: no Print Support") << windows << "libQt6PrintSupport"_ba << false;
        QTest::newRow("network: libcurl") << network << "libcurl.so.4"_ba << true;
        QTest::newRow("network: libcrypto") << network << "libcrypto.so"_ba << true;
        QTest::newRow("documents: Poppler") << documents << "libpoppler-cpp"_ba << true;
        // Read on a worker thread: no widget libraries come with it.
        QTest::newRow("documents: no Qt Widgets") << documents << "libQt6Widgets"_ba << false;
        QTest::newRow("printing: Print Support") << printing << "libQt6PrintSupport"_ba << true;
    }
    void librariesLinkedWhereFirstUsed() {
        QFETCH(QString, module);
        QFETCH(QByteArray, library);
        QFETCH(bool, linked);
        const QByteArray dynamic = dynamicSection(QStringLiteral(FISCORA_BIN_DIR "/") + module);
        QVERIFY2(dynamic.contains("libQt6Core"), dynamic.constData());
        QVERIFY2(dynamic.contains(library) == linked, dynamic.constData());
    }

    void moduleLoadFailuresNameWhatIsMissing_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QString>("named"); // empty: the load succeeds
        QTest::newRow("present") << "fiscora-rede.so"_ba
                                 << "fiscora_rede_certificados"_ba << QString();
        QTest::newRow("documents") << "fiscora-documentos.so"_ba
                                   << "fiscora_documentos_pdf"_ba << QString();
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
