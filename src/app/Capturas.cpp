// Screenshots of the program's windows for the user guide (scripts/screenshots.sh): each window
// built as the program builds it, shown on the display, grabbed to OUTPUT/NAME.png.
//
//   fiscora-capturas --pasta PROGRAM_FOLDER OUTPUT_FOLDER [NAME...]

#include "certificates/CertificateStore.h"
#include "certificates/CertificateTexts.h"
#include "core/FileChooser.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "data/TransmissionJournal.h"
#include "gui/Abertura.h"
#include "gui/CertificateDialog.h"
#include "gui/FileBrowser.h"
#include "gui/ImportarEmpresas.h"
#include "gui/Principal.h"
#include "gui/QtTranslations.h"
#include "gui/Sobre.h"
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
#include "transmission/Services.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <memory>

using namespace fiscora;

namespace {

struct Shot {
    const char* name;
    std::function<QWidget*()> make;
};

// The demo's company with GIAs in the demo export, as "Selecionar" leaves it.
Session& selected(Session& session) {
    session.selectTaxpayer(QStringLiteral("Comercial Ribeirão Verde Ltda"), QStringLiteral("110.042.490.114"),
                           QStringLiteral("RV7K2M9Q"));
    session.setServerList(QDateTime::currentDateTime(), QStringLiteral("2026"));
    return session;
}

// An upload window in a folder of the demo (FISCORA_DEMO), with `file` clicked when given.
QWidget* showingFile(QWidget* window, const QString& folder, const QString& file) {
    const QString demo = qEnvironmentVariable("FISCORA_DEMO");
    auto* browser = window->findChild<FileBrowser*>();
    if (demo.isEmpty() || !browser || !browser->setFolder(QDir(demo).filePath(folder)) || file.isEmpty())
        return window;
    for (auto* list : browser->findChildren<QListWidget*>()) {
        const QList<QListWidgetItem*> items = list->findItems(file, Qt::MatchExactly);
        if (items.isEmpty())
            continue;
        list->setCurrentItem(items.first());
        Q_EMIT list->itemClicked(items.first());
    }
    return window;
}

// The main window with the demo's company selected, its transmissions listed by the server the
// capture runs against, and the details of the receipt of 08/2026 open.
QWidget* withReceipt(Principal* window) {
    selected(window->session());
    window->RecebeDadosServer();
    auto* grid = window->findChild<QTableWidget*>(QStringLiteral("GridTransmissoes"));
    const QList<QTableWidgetItem*> rows = grid->findItems(QStringLiteral("08/2026"), Qt::MatchExactly);
    if (rows.isEmpty())
        return window;
    grid->setCurrentCell(rows.first()->row(), 0);
    window->RecebeDadosProtocolo();
    auto* details = window->findChild<QTreeWidget*>(QStringLiteral("tvwPessoa"));
    details->expandAll();
    details->scrollToTop();
    return window;
}

// The file dialogs answer with the demo's NovaGIA export.
class DemoExport final : public FileChooser {
public:
    using FileChooser::FileChooser;

protected:
    QString choose(Mode, QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return QDir(qEnvironmentVariable("FISCORA_DEMO")).filePath(QStringLiteral("exportacao-novagia.mdb"));
    }
};

// Three uploads of the demo's companies in the capture folder's journal, the first row chosen.
QWidget* withSampleJournal(QWidget* window, TransmissionJournal& journal) {
    bool written = true;
    const auto sent = [&written, &journal](const QString& ie, const QString& name,
                                           const QStringList& references, const QString& file,
                                           TransmissionOutcome outcome, const QString& detail) {
        JournalEntry e;
        e.serverDate = QDateTime::currentDateTime().addSecs(-60);
        e.ie = ie;
        e.companyName = name;
        e.chave = references.isEmpty() ? QStringLiteral("EV3P8T1L") : QStringLiteral("RV7K2M9Q");
        e.kind = references.isEmpty() ? TransmissionKind::Pgdas : TransmissionKind::Gia;
        for (qsizetype i = 0; i < references.size(); ++i)
            e.gias.append({QString::number(i + 1), references.at(i)});
        e.fileName = file;
        e.contentSize = 286720;
        e.contentSha256 = QStringLiteral("5d41402abc4b2a76b9719d911017c592ae1f2a6e3b5f0e8c3c4a1b2c3d4e5f60");
        e.accountantDocument = QStringLiteral("111.444.777-35");
        e.certificateHolder = QStringLiteral("JOSE CONTADOR DA SILVA:11144477735");
        e.certificateSerial = QStringLiteral("3a:f2:19:07");
        const Result<qint64> id = journal.startTransmission(e);
        written = written && id && journal.completeTransmission(*id, outcome, detail);
    };
    const QString verde = QStringLiteral("110.042.490.114");
    const QString ribeirao = QStringLiteral("Comercial Ribeirão Verde Ltda");
    written = bool(journal.recordListedTransmissions(verde, {}));
    sent(verde, ribeirao, {QStringLiteral("09/2026"), QStringLiteral("10/2026")},
         QStringLiteral("novagia-exportacao.mdb"), TransmissionOutcome::Answered, QStringLiteral("OK"));
    written = written && journal.recordListedTransmissions(
                             verde, {{QStringLiteral("09/2026"), QStringLiteral("2026000101")},
                                     {QStringLiteral("10/2026"), QStringLiteral("2026000102")}});
    sent(QStringLiteral("648.120.377.258"), QStringLiteral("Padaria Estrela do Vale Ltda ME"), {},
         QStringLiteral("extrato-pgdas.pdf"), TransmissionOutcome::Refused,
         QStringLiteral("ARQUIVO INVALIDO - EXTRATO"));
    sent(verde, ribeirao, {QStringLiteral("11/2026")}, QStringLiteral("ribeirao-verde-11-2026.prf"),
         TransmissionOutcome::Unknown, QStringLiteral("Sem resposta do servidor em 120 s"));
    if (!written)
        std::fprintf(stderr, "não foi possível gravar os envios de exemplo\n");
    QTimer::singleShot(0, window, [window] {
        if (auto* grid = window->findChild<QTableWidget*>(QStringLiteral("GridEnvios")))
            grid->selectRow(0);
    });
    return window;
}

// The import window with the demo export chosen and its companies loaded.
QWidget* loadedImport(ImportarEmpresas* window) {
    if (qEnvironmentVariableIsEmpty("FISCORA_DEMO"))
        return window;
    window->Command2_Click();
    window->Command3_Click();
    return window;
}

// What the shots' windows share, built once the program folder is known.
struct Program {
    explicit Program(const ProgramFolder& folder)
        : folder(folder) {}

    const ProgramFolder folder;
    SystemClock clock;
    SystemPlatform platform{folder.path()};
    ModalGate gate;
    DemoExport files{gate};
    ConsoleMessageBox messages{gate};
    Seams seams{clock, platform, files, messages, folder, gate};
    CertificateStore store;
    Session session;
    Session anyTaxpayer;
    TransmissionJournal journal{folder.file(QStringLiteral("fiscora.mdb")), clock};
    NoCertificateChooser certificates{gate};
    Services services = Services::forProgram(seams, certificates, journal);
};

// One line per window of the guide; a new window is one more line here and one in docs/guia.md.
// Message boxes are not installed: one a window raises goes to the error output.
QList<Shot> shots(Program& p) {
    return {
        {"abertura",
         [&p] {
             return new Abertura(p.seams);
         }},
        {"principal",
         [&p] {
             return withReceipt(new Principal(p.session, p.services));
         }},
        {"sobre",
         [] {
             return new Sobre;
         }},
        {"contador",
         [&p] {
             return new frmContador(p.services);
         }},
        {"contribuinte-novo",
         [&p] {
             return new frmtbl_CriaContribuinte(p.services);
         }},
        {"contribuinte-cadastro",
         [&p] {
             return new frmtbl_CadastroContribuinte(p.services.seams);
         }},
        {"contribuinte-selecionar",
         [&p] {
             return new frmtbl_SelecionaContribuinte(p.session, p.services.seams);
         }},
        {"contribuinte-atualizar",
         [&p] {
             return new frmtbl_atualizarContribuinte(p.session, p.services.seams);
         }},
        {"contribuinte-excluir",
         [&p] {
             return new frmtbl_exclusaoContribuinte(p.session, p.services.seams);
         }},
        {"certificados",
         [&p] {
             // As "Enviar" opens it once the accountant's certificate has been used.
             auto* dialog = new CertificateDialog(p.store, p.seams);
             dialog->setText(CertificateTexts::transmissionText);
             for (const Certificate& certificate : p.store.list().valueOr({})) {
                 if (certificate.document() == QStringLiteral("11144477735"))
                     dialog->preselect(certificate.fingerprint());
             }
             return dialog;
         }},
        {"transmissao-gia",
         [&p] {
             return showingFile(new frmUpload(selected(p.session), p.services), QStringLiteral("gia"),
                                QStringLiteral("novagia-exportacao.mdb"));
         }},
        {"transmissao-pgdas",
         [&p] {
             return showingFile(new frmUploadSimples(selected(p.session), p.services),
                                QStringLiteral("pgdas"), QStringLiteral("declaracao-pgdas.pdf"));
         }},
        {"importacao-empresas",
         [&p] {
             return loadedImport(new ImportarEmpresas(p.services));
         }},
        {"envios",
         [&p] {
             return withSampleJournal(new frmEnvios(p.anyTaxpayer, p.journal, p.seams), p.journal);
         }},
        {"lote",
         [&p] {
             // The demo's export, asked of the stand-in server as the user opens it.
             auto* window = new frmLote(p.session, p.services);
             window->openSource(QDir(qEnvironmentVariable("FISCORA_DEMO"))
                                    .filePath(QStringLiteral("gia/novagia-exportacao.mdb")));
             return window;
         }},
        {"lote-pgdas",
         [&p] {
             // The demo's PGDAS documents, matched to the registered taxpayers.
             auto* window = new frmLote(p.session, p.services);
             window->openPgdasFolder(
                 QDir(qEnvironmentVariable("FISCORA_DEMO")).filePath(QStringLiteral("pgdas")));
             return window;
         }},
    };
}

// The shots still to take, one after the other from the event loop.
struct Capture {
    QDir output;
    QStringList only;
    QList<Shot> shots;
    qsizetype next = 0;
    int failed = 0;
    std::unique_ptr<QWidget> window;
};

// Shows the next window asked for and grabs it 300 ms later, time for its own timers and for the
// server's answers; the program ends after the last.
void captureNext(const std::shared_ptr<Capture>& capture) {
    capture->window.reset();
    while (capture->next < capture->shots.size() && !capture->only.isEmpty() &&
           !capture->only.contains(QLatin1String(capture->shots.at(capture->next).name)))
        ++capture->next;
    if (capture->next == capture->shots.size()) {
        QApplication::exit(capture->failed ? 1 : 0);
        return;
    }
    const Shot& shot = capture->shots.at(capture->next++);
    const QString name = QLatin1String(shot.name);
    capture->window.reset(shot.make());
    capture->window->show();
    QTimer::singleShot(300, qApp, [capture, name] {
        const QString file = capture->output.filePath(name + QStringLiteral(".png"));
        if (capture->window->grab().save(file))
            std::printf("%s\n", qPrintable(file));
        else
            ++capture->failed, std::fprintf(stderr, "não foi possível gravar %s\n", qPrintable(file));
        QTimer::singleShot(0, qApp, [capture] { captureNext(capture); });
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fiscora"));
    QApplication::setOrganizationName(QStringLiteral("Fiscora"));
    usePortugueseQtTexts();
    QStringList arguments = QApplication::arguments();
    const Result<ProgramFolder> folder = ProgramFolder::initialize(arguments);
    if (!folder) {
        std::fprintf(stderr, "%s\n", qPrintable(folder.error().description));
        return 1;
    }
    const qsizetype at = arguments.indexOf(QStringLiteral("--pasta"));
    if (at >= 0)
        arguments.remove(at, 2);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "uso: fiscora-capturas --pasta PASTA_DO_PROGRAMA SAIDA [NOME...]\n");
        return 2;
    }
    // The windows come and go one by one; the last shot ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    Program program(*folder);
    auto capture = std::make_shared<Capture>();
    capture->output = QDir(arguments.at(1));
    QDir().mkpath(capture->output.path());
    capture->only = arguments.mid(2);
    capture->shots = shots(program);
    QTimer::singleShot(0, qApp, [capture] { captureNext(capture); });
    const int code = QApplication::exec();
    capture->window.reset();
    return code;
}
