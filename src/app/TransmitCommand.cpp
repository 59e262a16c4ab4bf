#include "app/TransmitCommand.h"

#include "certificates/Certificate.h"
#include "certificates/CertificateStore.h"
#include "certificates/PersonalCertificateSource.h"
#include "core/AppTexts.h"
#include "core/EscapedText.h"
#include "core/UserPreferences.h"
#include "data/AccountantTable.h"
#include "data/TransmissionJournal.h"
#include "transmission/Batch.h"
#include "transmission/Services.h"
#include "validation/Documents.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <memory>

#include <termios.h>
#include <unistd.h>

namespace fiscora {

namespace {

const char* const kPasswordVariable = "FISCORA_SENHA_CERTIFICADO";

// A serial as "3a:f2:19:07", "3AF21907" or "0x3af21907": hex digits, small, no leading zeros.
QString serialKey(QString serial) {
    serial = serial.toLower();
    if (serial.startsWith(QLatin1String("0x")))
        serial.remove(0, 2);
    serial.remove(QLatin1Char(':'));
    serial.remove(QLatin1Char(' '));
    while (serial.size() > 1 && serial.startsWith(QLatin1Char('0')))
        serial.remove(0, 1);
    return serial;
}

// The password of a .pfx: the environment's, else asked on the terminal without echo.
Result<QString> password(const QString& path) {
    if (qEnvironmentVariableIsSet(kPasswordVariable))
        return qEnvironmentVariable(kPasswordVariable);
    if (!isatty(STDIN_FILENO)) {
        return AppError::message(
            QStringLiteral("A senha do certificado %1 não foi informada: defina a variável %2.")
                .arg(path, QLatin1String(kPasswordVariable)));
    }
    std::fprintf(stderr, "Senha do certificado %s: ", qUtf8Printable(QFileInfo(path).fileName()));
    std::fflush(stderr);
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    QTextStream in(stdin);
    const QString typed = in.readLine();
    if (quiet)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    return typed;
}

// A certificate file (.pfx/.p12 with its password, or .cer/.crt/.pem/.der).
Result<Certificate> certificateFile(const QString& file) {
    const QFileInfo info(file);
    // Told before the password is asked for.
    if (!info.isReadable())
        return AppError::message(QStringLiteral("Não foi possível ler o certificado %1.").arg(file));
    const bool pkcs12 = CertificateStore::isPkcs12(file);
    QString secret;
    if (pkcs12) {
        const Result<QString> typed = password(file);
        if (!typed)
            return typed.error();
        secret = *typed;
    }
    const ImportResult read = CertificateStore::readFile(file, secret);
    if (read.ok())
        return read.certificate;
    if (read.status == ImportResult::Status::WrongPassword)
        return AppError::message(QStringLiteral("A senha do certificado %1 não confere.").arg(file));
    return AppError::message(
        pkcs12 ? QStringLiteral("O arquivo %1 não contém um certificado que possa ser lido.").arg(file)
               : QStringLiteral("O arquivo %1 não é um certificado.").arg(file));
}

// The certificate of the store or of a token with this serial.
Result<Certificate> certificateBySerial(const CertificateSource& source, const QString& serial) {
    const Result<QList<Certificate>> listed = source.list();
    if (!listed)
        return listed.error();
    for (const Certificate& certificate : *listed) {
        if (serialKey(certificate.serialNumber()) == serialKey(serial))
            return certificate;
    }
    return AppError::message(
        QStringLiteral(
            "Nenhum certificado com o número de série %1 foi encontrado (nem arquivo com esse nome).")
            .arg(serial));
}

// A certificate file, else the serial of a certificate of the store or of a token: given to
// `found`, for a serial once the tokens have been read.
void loadCertificate(const TokenReader& tokens, const QString& fileOrSerial,
                     const std::function<void(Result<Certificate>)>& found) {
    if (QFileInfo(fileOrSerial).isFile()) {
        found(certificateFile(fileOrSerial));
        return;
    }
    // Kept until its reading has reported.
    auto source = std::make_shared<const PersonalCertificateSource>(tokens);
    source->read(QCoreApplication::instance(),
                 [source, fileOrSerial, found] { found(certificateBySerial(*source, fileOrSerial)); });
}

// Sent and listed, or nothing left to send: every GIA that could go is one the server lists.
bool done(const BatchItem& item) {
    return item.result == BatchItem::Outcome::Listed || item.skipped();
}

void line(QTextStream& out, const QString& ie, const QString& name, const QString& result,
          const QString& detail) {
    out << escapeControls(ie) << '\t' << escapeControls(name) << '\t' << result << '\t'
        << escapeControls(detail) << '\n';
}

// The GIA source and the PGDAS folder asked for, one after the other, as one source.
void openSources(const Services& services, const CommandRequest& request, const QString& workFolder,
                 QObject* context, const std::function<void(Result<BatchSource>)>& done) {
    const auto withDocuments = [program = services.seams.folder, folder = request.pgdasFolder,
                                &gate = services.seams.gate, context, done](const BatchSource& gias) {
        if (folder.isEmpty()) {
            done(gias);
            return;
        }
        BatchSource::openPgdas(program, folder, gate, context,
                               [gias, done](const Result<BatchSource>& documents) {
                                   if (!documents) {
                                       done(documents.error());
                                       return;
                                   }
                                   BatchSource all = gias;
                                   all.append(*documents);
                                   done(std::move(all));
                               });
    };
    if (request.first.isEmpty()) {
        withDocuments({});
        return;
    }
    BatchSource::open(services.seams.folder, services.reader, request.first, workFolder, context,
                      [withDocuments, done](const Result<BatchSource>& gias) {
                          if (!gias)
                              done(gias.error());
                          else
                              withDocuments(*gias);
                      });
}

int failed(QTextStream& err, const QString& text) {
    err << text << '\n';
    err.flush();
    return 1;
}

// The batch, sent with the certificate found; `finished` gets the exit code.
void transmit(const Services& services, const CommandRequest& request, const Certificate& certificate,
              const QString& accountant, QTextStream& out, QTextStream& err,
              const std::function<void(int)>& finished) {
    // What the run needs until its end; gone after the end is reported.
    struct Flow {
        explicit Flow(const Services& services)
            : preparation(services.http, *services.journal)
            , run(services.http, *services.journal, services.transmission) {}
        QTemporaryDir work;
        BatchSource source; // outlives the preparation and the run, which hold its items
        QObject context;
        BatchPreparation preparation;
        BatchRun run;
        bool ok = true;
        // Uploads end in any order; their lines come out in the file's.
        QSet<int> ended;
        int nextLine = 0;
    };
    auto* flow = new Flow(services);
    const auto end = [flow, &out, &err, finished](int code) {
        out.flush();
        err.flush();
        // Deleted once the signal that ended it has returned.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [flow] { delete flow; }, Qt::QueuedConnection);
        finished(code);
    };

    openSources(
        services, request, flow->work.path(), &flow->context,
        [=, &out, &err](const Result<BatchSource>& opened) {
            if (!opened) {
                err << opened.error().description << '\n';
                end(1);
                return;
            }
            BatchSource& source = flow->source;
            source = *opened;
            for (const QString& problem : source.problems)
                err << problem << '\n';

            // Only the taxpayers asked for, when some are.
            QSet<QString> wanted;
            for (const QString& ie : request.ies)
                wanted.insert(documentDigits(ie));
            if (!wanted.isEmpty()) {
                QSet<QString> found;
                const auto unwanted = [&wanted, &found](const QString& ie) {
                    if (!wanted.contains(documentDigits(ie)))
                        return true;
                    found.insert(documentDigits(ie));
                    return false;
                };
                source.items.removeIf(
                    [&unwanted](const BatchItem& item) { return unwanted(item.taxpayer.IE); });
                source.unregistered.removeIf(
                    [&unwanted](const BatchCompany& company) { return unwanted(company.ie); });
                // Only the documents of a taxpayer asked for (one not of the Simples).
                source.setApart.removeIf([&unwanted](const PgdasMatch& match) {
                    return match.taxpayer.IE.isEmpty() || unwanted(match.taxpayer.IE);
                });
                for (const QString& ie : request.ies) {
                    if (!found.contains(documentDigits(ie))) {
                        line(out, CommandLine::storedIe(ie), {}, QStringLiteral("Não encontrada"),
                             request.pgdasFolder.isEmpty()
                                 ? QStringLiteral("o arquivo não tem GIAs deste contribuinte")
                                 : QStringLiteral("nenhuma GIA nem documento PGDAS deste contribuinte"));
                        flow->ok = false;
                    }
                }
            }
            flow->preparation.start(&source.items, UserPreferences::uploadsAtOnce());
        });

    QObject::connect(&flow->preparation, &BatchPreparation::finished, &flow->context,
                     [flow, resend = request.resend, certificate, accountant] {
                         // References the server lists already go again only when asked for (a
                         // substitutive GIA).
                         QList<BatchItem>& items = flow->source.items;
                         if (resend) {
                             for (BatchItem& item : items) {
                                 for (BatchGia& gia : item.gias)
                                     gia.ticked = gia.ticked || gia.note == BatchGia::Note::AlreadyListed;
                             }
                         }
                         QList<int> all;
                         for (qsizetype i = 0; i < items.size(); ++i)
                             all.append(int(i));
                         flow->run.start(&items, all, certificate, accountant,
                                         UserPreferences::uploadsAtOnce());
                     });
    QObject::connect(&flow->run, &BatchRun::itemFinished, &flow->context, [flow, &out, &err](int index) {
        flow->ended.insert(index);
        for (; flow->ended.contains(flow->nextLine); ++flow->nextLine) {
            const BatchItem& item = flow->source.items.at(flow->nextLine);
            // A taxpayer may have several documents: each line names its own.
            const QString document = item.kind == TransmissionKind::Pgdas
                                         ? QFileInfo(item.chosenPath).fileName() + QStringLiteral(": ")
                                         : QString();
            line(out, item.taxpayer.IE, item.taxpayer.RazaoSocial, batchResultText(item),
                 document + batchResultDetail(item));
            out.flush();
            flow->ok = flow->ok && done(item) && item.journalError.isEmpty();
            if (!item.journalError.isEmpty()) {
                err << journalNotWrittenText(item) << '\n';
                err.flush();
            }
        }
    });
    QObject::connect(&flow->run, &BatchRun::finished, &flow->context, [flow, &out, end] {
        for (const BatchCompany& company : flow->source.unregistered) {
            line(out, company.ie, company.name, QStringLiteral("Não cadastrada"),
                 QStringLiteral("importe a empresa antes de transmitir"));
            flow->ok = false;
        }
        for (const PgdasMatch& match : flow->source.setApart) {
            line(out, match.taxpayer.IE, match.taxpayer.RazaoSocial, QStringLiteral("Arquivo separado"),
                 setApartText(match));
            flow->ok = false;
        }
        end(flow->ok ? 0 : 1);
    });
}

} // namespace

void TransmitCommand::run(const Services& services, const CommandRequest& request, QTextStream& out,
                          QTextStream& err, const std::function<void(int)>& finished) {
    const auto fail = [&err, &finished](const QString& text) {
        finished(failed(err, text));
    };
    const Result<std::optional<Accountant>> contador = DadosContador(services.seams.folder);
    if (!contador)
        return fail(contador.error().description);
    if (!*contador)
        return fail(AppTexts::accountantMissing);
    // The start-up box that tells of these is never seen in an unattended run.
    if (const Result<QString> report = services.journal->unconfirmedTransmissionsReport(); !report) {
        err << report.error().description << '\n';
    } else if (!report->isEmpty()) {
        for (const QString& reported : report->split(QLatin1Char('\n')))
            err << escapeControls(reported) << '\n';
    }
    err.flush();
    loadCertificate(services.tokens, request.certificate,
                    [&services, request, &out, &err, finished,
                     accountant = (*contador)->cont_cpf_cnpj](const Result<Certificate>& certificate) {
                        if (!certificate)
                            finished(failed(err, certificate.error().description));
                        else
                            transmit(services, request, *certificate, accountant, out, err, finished);
                    });
}

} // namespace fiscora
