// The system libraries the windows open only when a task needs them, and the emblem decoded
// without Qt's image plugins: what keeps them off the way to the start-up window.

#include "core/SystemLibrary.h"
#include "gui/Images.h"

#include <QColorSpace>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

class BibliotecasTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadFailuresNameWhatIsMissing_data() {
        QTest::addColumn<QByteArray>("soname");
        QTest::addColumn<QByteArray>("function");
        QTest::addColumn<QString>("named"); // empty: the load succeeds
        QTest::newRow("present") << "libc.so.6"_ba
                                 << "getpid"_ba << QString();
        QTest::newRow("no library") << "libfiscora-inexistente.so.7"_ba
                                    << "getpid"_ba << u"libfiscora-inexistente.so.7"_s;
        QTest::newRow("no function") << "libc.so.6"_ba
                                     << "fiscora_funcao_inexistente"_ba << u"fiscora_funcao_inexistente"_s;
    }
    void loadFailuresNameWhatIsMissing() {
        QFETCH(QByteArray, soname);
        QFETCH(QByteArray, function);
        QFETCH(QString, named);
        pid_t (*slot)() = nullptr;
        const fiscora::Status status =
            fiscora::loadSystemLibrary(soname.constData(), {{function.constData(), &slot}});
        if (named.isEmpty()) {
            QVERIFY(status.ok());
            QCOMPARE(slot(), getpid());
            return;
        }
        QVERIFY(!status.ok());
        QVERIFY2(status.error().description.contains(named), qPrintable(status.error().description));
        QVERIFY(status.error().description.contains(u"não pôde ser carregada"_s));
    }

    // Linked libraries are loaded and relocated before the first window, used or not. SQLite, which
    // needs nothing else, is linked.
    void windowsModuleLinksNeitherOpenSslNorCurl() {
        QProcess readelf;
        readelf.start(u"readelf"_s, {u"-d"_s, QStringLiteral(FISCORA_BIN_DIR "/fiscora-janelas.so")});
        QVERIFY(readelf.waitForFinished(30000));
        const QByteArray dynamic = readelf.readAllStandardOutput();
        QVERIFY2(dynamic.contains("libQt6Widgets"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libcrypto"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libssl"), dynamic.constData());
        QVERIFY2(!dynamic.contains("libcurl"), dynamic.constData());
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

QTEST_GUILESS_MAIN(BibliotecasTest)
#include "BibliotecasTest.moc"
