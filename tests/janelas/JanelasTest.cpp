// Where windows open and whether they fit, on a screen of 1366×768 (the smallest laptop screen in
// common use), with the program's window placement installed.
#include "certificates/CertificateChooser.h"
#include "certificates/CertificateStore.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "data/AccessReader.h"
#include "data/TaxpayerTable.h"
#include "gui/Abertura.h"
#include "gui/BusyWindow.h"
#include "gui/CertificateDialog.h"
#include "gui/ImportarEmpresas.h"
#include "gui/Principal.h"
#include "gui/Sobre.h"
#include "gui/WidgetSeams.h"
#include "gui/WindowPlacement.h"
#include "gui/frmContador.h"
#include "gui/frmEnvios.h"
#include "gui/frmLote.h"
#include "gui/frmUpload.h"
#include "gui/frmUploadSimples.h"
#include "gui/frmtbl_CadastroContribuinte.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "gui/frmtbl_exclusaoContribuinte.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"
#include "support/TestCertificateChooser.h"
#include "support/TestFileChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <type_traits>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QSize kScreen(1366, 768);
// What a window's inside may take of that screen: a desktop panel of 40 pixels and a title bar
// of 32 left out.
const QSize kRoom(kScreen.width() - 8, kScreen.height() - 40 - 32);

using Maker = std::function<QWidget*(Session&, const Services&)>;
template <typename W> Maker make() {
    return [](Session& s, const Services& services) -> QWidget* {
        if constexpr (std::is_constructible_v<W, Session&, const Services&>)
            return new W(s, services);
        else if constexpr (std::is_constructible_v<W, Session&, TransmissionJournal&, const Seams&>)
            return new W(s, *services.journal, services.seams);
        else if constexpr (std::is_constructible_v<W, Session&, const Seams&>)
            return new W(s, services.seams);
        else if constexpr (std::is_constructible_v<W, Session&, const ProgramFolder&>)
            return new W(s, services.seams.folder);
        else if constexpr (std::is_constructible_v<W, const Services&>)
            return new W(services);
        else if constexpr (std::is_constructible_v<W, const Seams&>)
            return new W(services.seams);
        else
            return new W;
    };
}
using Opener = std::function<QWidget*(Principal*)>;

// Where an import would go: never a folder of the sources.
const CertificateStore& emptyStore() {
    static const QTemporaryDir folder;
    static const CertificateStore store(folder.path());
    return store;
}

QPoint centre(const QWidget* window) {
    return window->frameGeometry().center();
}

bool near(QPoint a, QPoint b) {
    return (a - b).manhattanLength() <= 3;
}

QString where(const QWidget* window, const QWidget* owner) {
    QString text;
    QDebug(&text) << window->frameGeometry() << "over" << owner->frameGeometry();
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Maker)
Q_DECLARE_METATYPE(Opener)

class JanelasTest final : public QObject {
    Q_OBJECT

    FolderServices services;

    std::unique_ptr<ProgramFolderFixture> m_folder;

    Principal* mainWindowAt(Session& session, QPoint at) {
        auto* main = new Principal(session, services());
        main->move(at);
        main->show();
        main->activateWindow();
        if (!QTest::qWaitForWindowActive(main))
            qWarning("the main window did not become active");
        return main;
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), kScreen);
        m_folder = std::make_unique<ProgramFolderFixture>();
        const QString name =
            u"Companhia de Comércio, Indústria e Representações Comerciais do Vale do "
            "Paraíba e do Litoral Norte Paulista Limitada - Matriz e Filiais Reunidas - Unidade de "
            "Atendimento ao Contribuinte"_s;
        QVERIFY(insertTaxpayer(
            fiscora::test::sharedSeams().folder,
            {u"110.042.490.114"_s, name, u"12.345.678/0001-95"_s, u"4711-3/02"_s, u"RV7K2M9Q"_s, {}, false}));
    }

    void cleanup() {
        deleteTopLevelWindows();
        services.reset();
    }

    void windowsOpenCentredOnTheirOwner_data() {
        QTest::addColumn<QString>("action"); // of the main window's menus
        QTest::addColumn<QString>("window");
        QTest::newRow("accountant (F6)") << "mnContador"
                                         << "frmContador";
        QTest::newRow("update list (F8)") << "mnAtualizar"
                                          << "frmtbl_atualizarContribuinte";
        QTest::newRow("about box") << "mnSobre"
                                   << "Sobre";
    }

    // Two waits of one window overlap (a conversion, then its listing): the window comes back
    // when the last ends, as it was before the first.
    void overlappingWaitsRestoreTheWindow() {
        for (const bool enabled : {true, false}) {
            QWidget window;
            window.setEnabled(enabled);
            auto first = std::make_unique<BusyWindow>(&window);
            auto second = std::make_unique<BusyWindow>(&window);
            first.reset();
            QVERIFY(!window.isEnabled());
            second.reset();
            QCOMPARE(window.isEnabled(), enabled);
        }
    }

    void windowsOpenCentredOnTheirOwner() {
        QFETCH(QString, action);
        QFETCH(QString, window);
        TestMessageBox boxes;
        Session session;
        Principal* main = mainWindowAt(session, {300, 150});
        child<QAction>(main, action)->trigger();
        QWidget* opened = fiscora::test::window(window);
        QVERIFY(opened);
        QVERIFY2(near(centre(opened), centre(main)), qPrintable(where(opened, main)));
        // Shown again, a window stays where the user left it.
        opened->hide();
        opened->move(20, 30);
        opened->show();
        QCOMPARE(opened->pos(), QPoint(20, 30));
    }

    // Centred as far as the screen allows: a window opened from one near the screen's corner
    // stays whole on the screen.
    void windowNearTheCornerStaysOnTheScreen() {
        TestMessageBox boxes;
        auto* cria = new frmtbl_CriaContribuinte(sharedServices());
        cria->move(kScreen.width() - cria->width() - 10, kScreen.height() - cria->height() - 20);
        cria->show();
        cria->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(cria));
        QTest::mouseClick(child<QPushButton>(cria, "Command2"), Qt::LeftButton);
        QWidget* import = fiscora::test::window(u"ImportarEmpresas"_s);
        QVERIFY(import);
        QVERIFY2(QRect(QPoint(0, 0), kScreen).contains(import->frameGeometry()),
                 qPrintable(where(import, cria)));
        QVERIFY(import->frameGeometry().contains(cria->frameGeometry().center()));
    }

    void dialogsOpenCentredOnTheirOwner_data() {
        // Opens the dialog (it blocks until answered) and says which window it belongs to.
        QTest::addColumn<Opener>("open");
        QTest::newRow("message box after its window closed") << Opener([](Principal* main) -> QWidget* {
            child<QAction>(main, "mnContador")->trigger();
            QWidget* contador = fiscora::test::window(u"frmContador"_s);
            contador->activateWindow();
            if (QTest::qWaitForWindowActive(contador))
                contador->close();
            WidgetMessageBox(sharedSeams().gate).show(u"Fiscora"_s, u"Contador cadastrado com sucesso"_s);
            return main;
        });
        QTest::newRow("certificate window") << Opener([](Principal* main) -> QWidget* {
            DialogCertificateChooser chooser(sharedSeams()());
            chooser.choose(main, u"Using CAPI to Select a certificate"_s, u"x"_s, emptyStore());
            return main;
        });
        QTest::newRow("certificate password") << Opener([](Principal* main) -> QWidget* {
            TestFileChooser files;
            files.queuePath(certificateFixture(u"empresa-legado.pfx"_s));
            auto* dialog = new CertificateDialog(emptyStore(), sharedSeams()(), main);
            // Not modal itself, so the only modal box to catch is the password's (the file
            // chooser's loop could otherwise let the watcher take the dialog for it).
            dialog->setModal(false);
            dialog->show();
            QTest::mouseClick(child<QPushButton>(dialog, "cmdImportar"), Qt::LeftButton);
            return dialog;
        });
        QTest::newRow("file dialog") << Opener([](Principal* main) -> QWidget* {
            DialogFileChooser dialogs(sharedSeams().gate);
            dialogs.openFile(main, u"Escolha o arquivo"_s, QDir::tempPath(), u"*.mdb"_s);
            return main;
        });
    }

    void dialogsOpenCentredOnTheirOwner() {
        QFETCH(Opener, open);
        const WidgetSeams seams(sharedSeams().clock, sharedSeams().folder);
        Session session;
        Principal* main = mainWindowAt(session, {300, 150});
        QPoint shown;
        whenModal([&](QWidget* modal) {
            shown = centre(modal);
            static_cast<QDialog*>(modal)->reject();
        });
        const QWidget* owner = open(main);
        QVERIFY2(near(shown, centre(owner)), qPrintable(where(owner, owner) + QString::number(shown.x())));
    }

    void everyWindowFitsTheScreen_data() {
        QTest::addColumn<Maker>("make");
        const auto row = [](const char* name, Maker make) {
            QTest::newRow(name) << make;
        };
        row("abertura", make<Abertura>());
        row("principal", [](Session& s, const Services& services) -> QWidget* {
            s.selectTaxpayer(u"Comercial Ribeirão Verde Ltda"_s, u"110.042.490.114"_s, u"RV7K2M9Q"_s);
            auto* main = new Principal(s, services);
            for (const char* name : {"tvwPessoa", "detApuracao", "labelOK", "lblnovaatualizacao"})
                child(main, name)->show();
            return main;
        });
        row("sobre", make<Sobre>());
        row("contador", make<frmContador>());
        row("contribuinte novo", make<frmtbl_CriaContribuinte>());
        row("contribuinte cadastro", make<frmtbl_CadastroContribuinte>());
        // The list windows widen to their contents: a long company name is in the table.
        row("selecionar", make<frmtbl_SelecionaContribuinte>());
        row("atualizar", make<frmtbl_atualizarContribuinte>());
        row("excluir", make<frmtbl_exclusaoContribuinte>());
        row("certificados", [](Session&, const Services&) -> QWidget* {
            return new CertificateDialog(emptyStore(), sharedSeams()());
        });
        row("transmissao gia", make<frmUpload>());
        row("transmissao pgdas", make<frmUploadSimples>());
        row("envios realizados", make<frmEnvios>());
        row("transmissao em lote", make<frmLote>());
        row("importacao", [](Session&, const Services& services) -> QWidget* {
            TestFileChooser files;
            files.queuePath(QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/exportacao-novagia.mdb"));
            auto* window = new ImportarEmpresas(services);
            window->Command2_Click();
            window->Command3_Click();
            for (const char* name : {"Label1", "Label2", "lblProgresso", "cmdParar"})
                child(window, name)->show();
            return window;
        });
    }

    void everyWindowFitsTheScreen() {
        QFETCH(Maker, make);
        TestMessageBox boxes;
        Session session;
        QWidget* window = make(session, services());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QSize size = window->size().expandedTo(window->minimumSizeHint());
        QVERIFY2(size.width() <= kRoom.width() && size.height() <= kRoom.height(),
                 qPrintable(u"%1x%2"_s.arg(size.width()).arg(size.height())));
        QVERIFY2(boxes.shown().isEmpty(), qPrintable(boxes.texts().join(u'|')));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir dir;
    QFile screens(dir.filePath(u"tela.json"_s));
    if (!screens.open(QIODevice::WriteOnly))
        qFatal("cannot write the screen configuration");
    screens.write(QStringLiteral(R"({"screens": [{"name": "tela", "x": 0, "y": 0, "width": %1, "height": %2,
                                     "logicalDpi": 96}]})")
                      .arg(kScreen.width())
                      .arg(kScreen.height())
                      .toUtf8());
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toUtf8());
    QApplication app(argc, argv);
    installWindowPlacement();
    JanelasTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "JanelasTest.moc"
