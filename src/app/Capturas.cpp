// Screenshots of the program's windows for the user guide (scripts/screenshots.sh): each window
// built as the program builds it, shown on the display, grabbed to OUTPUT/NAME.png.
//
//   fiscora-capturas --pasta PROGRAM_FOLDER OUTPUT_FOLDER [NAME...]

#include "certificates/CertificateStore.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "gui/Abertura.h"
#include "gui/CertificateDialog.h"
#include "gui/Principal.h"
#include "gui/QtTranslations.h"
#include "gui/Sobre.h"
#include "gui/frmContador.h"
#include "gui/frmtbl_CadastroContribuinte.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "gui/frmtbl_exclusaoContribuinte.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
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

// One line per window of the guide; a new window is one more line here and one in docs/guia.md.
// Message boxes are not installed: one a window raises goes to the error output.
QList<Shot> shots() {
    static const CertificateStore store;
    static Session session;
    return {
        {"abertura",
         [] {
             return new Abertura(session);
         }},
        {"principal",
         [] {
             return new Principal(session);
         }},
        {"sobre",
         [] {
             return new Sobre(session);
         }},
        {"contador",
         [] {
             return new frmContador(session);
         }},
        {"contribuinte-novo",
         [] {
             return new frmtbl_CriaContribuinte(session);
         }},
        {"contribuinte-cadastro",
         [] {
             return new frmtbl_CadastroContribuinte(session);
         }},
        {"contribuinte-selecionar",
         [] {
             return new frmtbl_SelecionaContribuinte(session);
         }},
        {"contribuinte-alterar",
         [] {
             return new frmtbl_atualizarContribuinte(session);
         }},
        {"contribuinte-excluir",
         [] {
             return new frmtbl_exclusaoContribuinte(session);
         }},
        {"certificados",
         [] {
             return new CertificateDialog(store);
         }},
    };
}

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fiscora"));
    QApplication::setOrganizationName(QStringLiteral("Fiscora"));
    usePortugueseQtTexts();
    QStringList arguments = QApplication::arguments();
    if (const Status folder = ProgramFolder::initialize(arguments); !folder) {
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
    const QDir output(arguments.at(1));
    QDir().mkpath(output.path());
    const QStringList only = arguments.mid(2);
    int failed = 0;
    for (const Shot& shot : shots()) {
        const QString name = QLatin1String(shot.name);
        if (!only.isEmpty() && !only.contains(name))
            continue;
        std::unique_ptr<QWidget> window(shot.make());
        window->show();
        settle(300);
        const QString file = output.filePath(name + QStringLiteral(".png"));
        if (window->grab().save(file))
            std::printf("%s\n", qPrintable(file));
        else
            ++failed, std::fprintf(stderr, "não foi possível gravar %s\n", qPrintable(file));
    }
    return failed ? 1 : 0;
}
