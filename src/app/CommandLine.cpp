#include "app/CommandLine.h"

#include "core/EscapedText.h"
#include "core/ModalGate.h"
#include "core/ProgramFolder.h"
#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "data/GiaDatabaseReader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace fiscora {

namespace {

const char* const kUsage = "uso: fiscora [--pasta PASTA] [opções do Qt, como -platform NOME]\n"
                           "     fiscora [--pasta PASTA] --converter ARQUIVO.prf SAIDA.mdb\n"
                           "     fiscora [--pasta PASTA] --listar ARQUIVO.mdb IE\n"
                           "     fiscora [--pasta PASTA] --transmitir [ARQUIVO_OU_PASTA] [--pgdas PASTA] "
                           "[--ie IE]... --certificado CERTIFICADO [--reenviar]\n"
                           "     fiscora --help | --version\n";

const char* const kHelp =
    "\n"
    "Sem --converter, --listar nem --transmitir, abre as janelas do programa.\n"
    "  --converter  converte um arquivo GIA pré-formatado (.prf) no pacote SAIDA.mdb, com o\n"
    "               gia_limpa.mdb da pasta do programa\n"
    "  --listar     lista as GIAs do contribuinte (IE com ou sem pontuação): número, referência,\n"
    "               regime e tipo, separados por tabulação\n"
    "  --transmitir envia as GIAs de uma exportação do NovaGIA ou de uma pasta de arquivos .prf:\n"
    "               um envio por contribuinte cadastrado (ou só os de --ie), com o certificado do\n"
    "               contador: um .pfx/.p12 (senha na variável FISCORA_SENHA_CERTIFICADO ou pedida\n"
    "               no terminal), um .cer/.pem/.der, ou o número de série de um certificado num\n"
    "               token; uma linha por contribuinte na saída. GIAs cuja referência o servidor\n"
    "               já lista não vão, a não ser com --reenviar (uma GIA substitutiva)\n"
    "  --pgdas      com --transmitir, envia também os documentos PGDAS (.pdf) da PASTA: cada um\n"
    "               ao contribuinte do Simples Nacional cujo CNPJ está no nome do arquivo ou no\n"
    "               seu texto, um envio por documento; os que não correspondem a um só\n"
    "               contribuinte do Simples Nacional saem numa linha com o motivo e não vão.\n"
    "               Um documento cuja referência o servidor já lista só vai com --reenviar\n"
    "  --pasta      a pasta do programa (ou a variável FISCORA_PASTA)\n"
    "Código de saída: 0 concluído (--transmitir: toda GIA que podia ir está listada pelo\n"
    "servidor), 1 falha (mensagem na saída de erros), 2 argumentos errados.\n";

// Qt's own options, which the windows take (QGuiApplication, QApplication, the X11 platform),
// with a dash or two; the first group takes a value.
const char* const kQtWithValue[] = {"platform",
                                    "platformpluginpath",
                                    "platformtheme",
                                    "plugin",
                                    "qwindowgeometry",
                                    "qwindowicon",
                                    "qwindowtitle",
                                    "session",
                                    "style",
                                    "stylesheet",
                                    "qmljsdebugger",
                                    "display",
                                    "geometry",
                                    "title",
                                    "icon",
                                    "name",
                                    "visual"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb"};
const char* const kQtJoined[] = {"style=", "stylesheet=", "qmljsdebugger="};

enum class QtOption { None, Flag, WithValue };

QtOption qtOption(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1String("---")))
        return QtOption::None;
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const char* option : kQtWithValue) {
        if (name == QLatin1String(option))
            return QtOption::WithValue;
    }
    for (const char* option : kQtFlags) {
        if (name == QLatin1String(option))
            return QtOption::Flag;
    }
    for (const char* option : kQtJoined) {
        if (name.startsWith(QLatin1String(option)))
            return QtOption::Flag;
    }
    return QtOption::None;
}

using Request = CommandRequest;

} // namespace

Request CommandLine::parse(const QStringList& arguments) {
    Request request;
    // Asking for help or the version is answered whatever else is there.
    const QStringList options = arguments.mid(1);
    if (options.contains(QLatin1String("--help")) || options.contains(QLatin1String("-h"))) {
        request.kind = Request::Help;
        return request;
    }
    if (options.contains(QLatin1String("--version"))) {
        request.kind = Request::Version;
        return request;
    }
    QStringList ies;
    QString certificate;
    QString pgdas;
    bool resending = false;
    for (qsizetype i = 0; i < options.size() && request.problem.isEmpty(); ++i) {
        const QString& argument = options.at(i);
        const QtOption qt = qtOption(argument);
        const bool transmit = argument == QLatin1String("--transmitir");
        const bool mode =
            transmit || argument == QLatin1String("--converter") || argument == QLatin1String("--listar");
        const bool ofTransmit = argument == QLatin1String("--ie") ||
                                argument == QLatin1String("--certificado") ||
                                argument == QLatin1String("--pgdas");
        const bool resend = argument == QLatin1String("--reenviar");
        // The GIA source may be left out when only PGDAS documents go: an option follows.
        const bool noGiaSource =
            transmit && (i + 1 >= options.size() || options.at(i + 1).startsWith(QLatin1String("--")));
        const qsizetype operands =
            transmit ? (noGiaSource ? 0 : 1)
            : mode   ? 2
                     : argument == QLatin1String("--pasta") || ofTransmit || qt == QtOption::WithValue;
        if (i + operands >= options.size())
            request.problem = QStringLiteral("faltam argumentos depois de %1").arg(argument);
        else if (mode && request.kind != Request::Windows)
            request.problem =
                QStringLiteral("--converter, --listar e --transmitir não podem ser usados juntos");
        else if (resend)
            resending = true;
        else if (operands == 0 && qt == QtOption::None && !transmit)
            request.problem = QStringLiteral("argumento não reconhecido: %1").arg(argument);
        else if (argument == QLatin1String("--ie"))
            ies.append(options.at(i + 1));
        else if (argument == QLatin1String("--certificado"))
            certificate = options.at(i + 1);
        else if (argument == QLatin1String("--pgdas"))
            pgdas = options.at(i + 1);
        else if (mode)
            request = Request{argument == QLatin1String("--converter") ? Request::Convert
                              : transmit                               ? Request::Transmit
                                                                       : Request::List,
                              operands > 0 ? options.at(i + 1) : QString(),
                              transmit ? QString() : options.at(i + 2),
                              {},
                              {},
                              {}};
        i += operands;
    }
    if (request.problem.isEmpty() && request.kind != Request::Transmit &&
        (!ies.isEmpty() || !certificate.isEmpty() || !pgdas.isEmpty() || resending))
        request.problem =
            QStringLiteral("--ie, --certificado, --pgdas e --reenviar só valem com --transmitir");
    if (request.problem.isEmpty() && request.kind == Request::Transmit && request.first.isEmpty() &&
        pgdas.isEmpty())
        request.problem =
            QStringLiteral("--transmitir pede uma exportação ou pasta de GIAs, ou --pgdas PASTA");
    if (request.problem.isEmpty() && request.kind == Request::Transmit && certificate.isEmpty())
        request.problem = QStringLiteral("--transmitir pede --certificado");
    request.ies = ies;
    request.certificate = certificate;
    request.pgdasFolder = pgdas;
    request.resend = resending;
    if (!request.problem.isEmpty())
        request.kind = Request::Wrong;
    return request;
}

void CommandLine::nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("fiscora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Fiscora"));
}

Result<ProgramFolder> CommandLine::useProgramFolder(const QStringList& arguments, QTextStream& err) {
    Result<ProgramFolder> folder = ProgramFolder::initialize(arguments);
    if (!folder)
        err << folder.error().description << Qt::endl;
    return folder;
}

int CommandLine::usage(const QString& problem, QTextStream& err) {
    if (!problem.isEmpty())
        err << "fiscora: " << problem << '\n';
    err << kUsage;
    err.flush();
    return 2;
}

QString CommandLine::storedIe(const QString& ie) {
    QString digits = ie;
    digits.remove(QLatin1Char('.'));
    if (digits.size() != 12 || !std::all_of(digits.cbegin(), digits.cend(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }))
        return ie;
    return digits.first(3) + QLatin1Char('.') + digits.sliced(3, 3) + QLatin1Char('.') + digits.sliced(6, 3) +
           QLatin1Char('.') + digits.sliced(9, 3);
}

namespace {

int report(const GiaConversion::Outcome& result, const Request& request, QTextStream& out, QTextStream& err) {
    if (!result.ok) {
        err << result.message << '\n';
        err.flush();
        return 1;
    }
    out << QStringLiteral("Pacote %1 gravado com %2 GIA(s).")
               .arg(QFileInfo(request.second).absoluteFilePath())
               .arg(result.gias)
        << '\n';
    out.flush();
    return 0;
}

int convert(const ProgramFolder& folder, const AccessReader& reader, const Request& request, QTextStream& out,
            QTextStream& err) {
    int code = 1;
    QObject context;
    GiaConversion::convertReplacing(reader, request.first, request.second,
                                    folder.file(QStringLiteral("gia_limpa.mdb")), &context,
                                    [&](const GiaConversion::Outcome& result) {
                                        code = report(result, request, out, err);
                                        QCoreApplication::quit();
                                    });
    // The application's own loop, until the package is written, as for the listing.
    QCoreApplication::exec();
    return code;
}

int print(const GiaDatabaseReader::Listing& listing, QTextStream& out, QTextStream& err) {
    if (listing.outcome != GiaDatabaseReader::Outcome::Ok) {
        err << GiaDatabaseReader::message(listing.outcome) << '\n';
        err.flush();
        return 1;
    }
    // A stored field may hold a tab or a line end: escaped, each GIA stays one line of four fields.
    for (const GiaListRow& row : listing.rows)
        out << escapeControls(row.number) << '\t' << escapeControls(row.reference) << '\t'
            << escapeControls(row.regime) << '\t' << escapeControls(row.type) << '\n';
    out.flush();
    return 0;
}

int list(const AccessReader& reader, const Request& request, QTextStream& out, QTextStream& err) {
    int code = 1;
    QObject context;
    GiaDatabaseReader::listGias(reader, request.first, CommandLine::storedIe(request.second), &context,
                                [&](const GiaDatabaseReader::Listing& listing) {
                                    code = print(listing, out, err);
                                    QCoreApplication::quit();
                                });
    // The application's own loop, until the file is read: this command is the whole program.
    QCoreApplication::exec();
    return code;
}

} // namespace

CommandRequest::Kind CommandLine::requested(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return parse(arguments).kind;
}

int CommandLine::run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const Request request = parse(arguments);
    switch (request.kind) {
    case Request::Help:
        out << kUsage << kHelp;
        out.flush();
        return 0;
    case Request::Version:
        out << "fiscora " FISCORA_VERSION "\n";
        out.flush();
        return 0;
    case Request::Windows:
    case Request::Transmit:
    case Request::Wrong:
        return usage(request.problem, err);
    case Request::Convert:
    case Request::List:
        break;
    }
    const Result<ProgramFolder> folder = useProgramFolder(arguments, err);
    if (!folder)
        return 1;
    // No box is ever up here: the outcomes pass straight through.
    ModalGate gate;
    const AccessReader reader(AccessReader::defaultHelper(*folder), gate);
    return request.kind == Request::Convert ? convert(*folder, reader, request, out, err)
                                            : list(reader, request, out, err);
}

} // namespace fiscora
