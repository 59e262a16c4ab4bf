#include "certificates/Pkcs11CertificateSource.h"

#include "certificates/Pkcs11Protocol.h"
#include "core/Settings.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <utility>
#include <vector>

namespace fiscora {

namespace {

namespace proto = pkcs11protocol;

// A module to read, and how the user is told of it.
struct Module {
    QString path;
    QString name;
};

Module namedModule(const QString& path) {
    return {path, QDir::toNativeSeparators(path)};
}

// A driver registered with p11-kit; p11-kit's own name, if any.
Module systemModule(const QString& path, const QString& registeredName = {}) {
    const QString where = QDir::toNativeSeparators(path);
    return {path, registeredName.isEmpty() ? QStringLiteral("do sistema (%1)").arg(where)
                                           : QStringLiteral("do sistema %1 (%2)").arg(registeredName, where)};
}

struct Token {
    QString label;
    QList<Certificate> certificates;
    bool unreadable = false;
};

// What one run of the helper said. complete: the module (or the list of modules) was read to
// the end.
struct ModuleReading {
    QMap<int, Token> tokens; // by slot, in slot order
    QList<Module> modules;   // the registered modules, when those were asked for
    bool complete = false;
};

ModuleReading decode(const QByteArray& output) {
    ModuleReading reading;
    const QList<QByteArray> lines = output.split('\n');
    if (lines.isEmpty() || lines.first() != proto::kMagic)
        return reading;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        if (fields.isEmpty() || fields.first().size() != 1)
            continue;
        const char record = fields.first().at(0);
        if (record == proto::End) {
            reading.complete = true;
            break;
        }
        if (record == proto::Module) {
            if (fields.size() == 3)
                reading.modules.append(systemModule(QString::fromUtf8(QByteArray::fromHex(fields.at(2))),
                                                    QString::fromUtf8(QByteArray::fromHex(fields.at(1)))));
            continue;
        }
        bool ok = false;
        const int slot = fields.size() >= 2 ? fields.at(1).toInt(&ok) : -1;
        if (!ok)
            continue;
        if (record == proto::Token) {
            const QString label = QString::fromUtf8(QByteArray::fromHex(fields.value(2))).trimmed();
            reading.tokens[slot].label = label.isEmpty() ? QStringLiteral("(sem rótulo)") : label;
        } else if (record == proto::Certificate && reading.tokens.contains(slot)) {
            Certificate certificate = Certificate::fromDer(QByteArray::fromBase64(fields.value(2)));
            if (!certificate.isNull()) {
                certificate.setTokenLabel(reading.tokens[slot].label);
                reading.tokens[slot].certificates.append(certificate);
            }
        } else if (record == proto::Unreadable && reading.tokens.contains(slot)) {
            reading.tokens[slot].unreadable = true;
        }
    }
    return reading;
}

// The same file reached by two paths is read once.
QString identity(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

// One reading of the tokens: the helper in a child process per module, all at once under one time
// limit, so the chooser waits for the slowest module, not the sum. It reports once, by `done`,
// from the event loop; deleting it gives the reading up.
class TokenReading final : public QObject {
    Q_DISABLE_COPY_MOVE(TokenReading)

public:
    using Done = std::function<void(CertificateSource::Listing, QHash<QString, QString>)>;

    TokenReading(const TokenReader& reader, std::optional<QStringList> modules,
                 QHash<QString, QString> seenTokens, Done done)
        : m_reader(reader)
        , m_modules(std::move(modules))
        , m_seenTokens(std::move(seenTokens))
        , m_done(std::move(done))
        , m_deadline(reader.timeLimitMs) {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &TokenReading::stepEnded);
        // From the event loop: whoever asked has returned before anything is reported.
        QTimer::singleShot(0, this, &TokenReading::begin);
    }

    ~TokenReading() override {
        for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
            abandon(process);
    }

private:
    enum class Step { Registered, Modules, Reported };

    void begin() {
        m_helper = m_reader.helper;
        if (!QFileInfo(m_helper).isExecutable()) {
            m_result.problems.append(QStringLiteral("O leitor de tokens (fiscora-leitor-pkcs11) não foi "
                                                    "encontrado na pasta do programa."));
            m_step = Step::Reported;
            m_done(std::move(m_result), std::move(m_seenTokens));
            return;
        }
        if (m_modules) {
            readModules({});
            return;
        }
        m_registered = startHelper(QStringList{QString::fromLatin1(proto::kRegistered)});
        waitForStep();
    }

    QProcess* startHelper(const QStringList& arguments) {
        auto* process = new QProcess(this);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        connect(process, &QProcess::finished, this, &TokenReading::oneEnded);
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                oneEnded();
        });
        ++m_running;
        process->start(m_helper, arguments, QIODevice::ReadOnly);
        return process;
    }

    void oneEnded() {
        if (--m_running == 0 && !m_starting)
            stepEnded();
    }

    // The helpers of this step are started; it ends when they have all ended or at the deadline.
    void waitForStep() {
        m_starting = false;
        if (m_running == 0)
            stepEnded();
        else
            m_timer.start(int(qMax<qint64>(0, m_deadline.remainingTime())));
    }

    void stepEnded() {
        m_timer.stop();
        if (m_step == Step::Registered) {
            m_step = Step::Modules;
            readModules(registeredModules());
        } else if (m_step == Step::Modules) {
            m_step = Step::Reported;
            report();
        }
    }

    // The drivers registered with p11-kit, read one by one: through its proxy, one driver that
    // fails can hide the tokens of all the others, and the user is not told which. When p11-kit
    // cannot list them, its proxy as before.
    QList<Module> registeredModules() {
        QProcess* process = m_registered;
        ModuleReading reading;
        if (process->state() == QProcess::NotRunning && process->exitStatus() == QProcess::NormalExit &&
            process->exitCode() == proto::Done) {
            reading = decode(process->readAllStandardOutput());
        }
        abandon(process);
        if (reading.complete)
            return reading.modules;
        const QString proxy = Pkcs11CertificateSource::proxyModule();
        return proxy.isEmpty() ? QList<Module>{} : QList<Module>{systemModule(proxy)};
    }

    void readModules(const QList<Module>& registered) {
        m_step = Step::Modules;
        m_starting = true;
        // Each file once, though the settings may name a registered driver again.
        QSet<QString> files;
        auto add = [this, &files](const Module& module) {
            if (!files.contains(identity(module.path))) {
                files.insert(identity(module.path));
                m_modulesToRead.append(module);
            }
        };
        for (const Module& module : registered)
            add(module);
        for (const QString& path :
             m_modules ? *m_modules : Pkcs11CertificateSource::configuredModules(m_reader))
            add(namedModule(path));
        for (const Module& module : m_modulesToRead)
            m_processes.push_back(QFileInfo(module.path).isFile() ? startHelper(QStringList{module.path})
                                                                  : nullptr);
        waitForStep();
    }

    void problem(const QString& text) {
        if (!m_result.problems.contains(text))
            m_result.problems.append(text);
    }

    void report() {
        QSet<QByteArray> listed;
        QHash<QString, QString> tokensNow;
        QSet<QString> modulesRead;
        for (std::size_t i = 0; i < m_processes.size(); ++i) {
            const QString& module = m_modulesToRead.at(qsizetype(i)).path;
            const QString& moduleName = m_modulesToRead.at(qsizetype(i)).name;
            QProcess* process = m_processes[i];
            if (!process) {
                problem(QStringLiteral("O módulo PKCS#11 %1 não foi encontrado.").arg(moduleName));
                continue;
            }
            if (process->error() == QProcess::FailedToStart) {
                problem(QStringLiteral("O leitor de tokens (fiscora-leitor-pkcs11) não pôde ser iniciado."));
                continue;
            }
            const bool finished = process->state() == QProcess::NotRunning;
            const ModuleReading reading = decode(process->readAllStandardOutput());
            abandon(process);
            if (!finished) {
                problem(QStringLiteral("O módulo PKCS#11 %1 não respondeu em %2 segundos.")
                            .arg(moduleName)
                            .arg((m_reader.timeLimitMs + 999) / 1000));
            } else if (process->exitStatus() != QProcess::NormalExit) {
                problem(QStringLiteral("O módulo PKCS#11 %1 terminou de forma anormal.").arg(moduleName));
            } else if (process->exitCode() == proto::ModuleFailed ||
                       process->exitCode() == proto::SlotsFailed) {
                problem(QStringLiteral("O módulo PKCS#11 %1 não pôde ser carregado.").arg(moduleName));
            } else if (process->exitCode() != proto::Done || !reading.complete) {
                problem(QStringLiteral("O módulo PKCS#11 %1 não pôde ser lido.").arg(moduleName));
            } else {
                modulesRead.insert(module);
            }

            for (const Token& token : reading.tokens) {
                tokensNow.insert(token.label, module);
                if (token.unreadable) {
                    problem(QStringLiteral("Não foi possível ler os certificados do token \"%1\"; ele pode "
                                           "ter sido removido.")
                                .arg(token.label));
                    continue;
                }
                int personal = 0;
                for (const Certificate& certificate : token.certificates) {
                    // A certification authority's certificate often rides on the token with the
                    // holder's; only the holder's is offered, as in the imported store.
                    if (certificate.isAuthority())
                        continue;
                    ++personal;
                    if (listed.contains(certificate.der()))
                        continue; // the same token through the proxy and through its own module
                    listed.insert(certificate.der());
                    m_result.certificates.append(certificate);
                }
                if (personal == 0 && reading.complete)
                    problem(QStringLiteral("O token \"%1\" não contém certificados.").arg(token.label));
            }
        }

        // A token an earlier reading saw, gone although its module was read: taken out meanwhile.
        QHash<QString, QString> seen = tokensNow;
        for (auto before = m_seenTokens.cbegin(); before != m_seenTokens.cend(); ++before) {
            if (tokensNow.contains(before.key()))
                continue;
            if (modulesRead.contains(before.value()))
                problem(QStringLiteral("O token \"%1\" foi removido.").arg(before.key()));
            else
                seen.insert(before.key(), before.value());
        }
        m_done(std::move(m_result), std::move(seen));
    }

    // A helper not needed any more: killed if it still runs, and then reaped by Qt, never waited
    // for; it deletes itself once it has ended.
    void abandon(QProcess* process) {
        process->disconnect(this);
        if (process->state() == QProcess::NotRunning)
            return;
        process->setParent(nullptr);
        connect(process, &QProcess::finished, process, &QObject::deleteLater);
        process->kill();
    }

    TokenReader m_reader;
    std::optional<QStringList> m_modules;
    QHash<QString, QString> m_seenTokens;
    Done m_done;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    QString m_helper;
    Step m_step = Step::Registered;
    bool m_starting = true;
    int m_running = 0;
    QProcess* m_registered = nullptr;
    QList<Module> m_modulesToRead;
    std::vector<QProcess*> m_processes; // one per module to read; none for a missing file
    CertificateSource::Listing m_result;
};

Pkcs11CertificateSource::Pkcs11CertificateSource(TokenReader reader)
    : m_reader(std::move(reader)) {}

Pkcs11CertificateSource::Pkcs11CertificateSource(TokenReader reader, QStringList modules)
    : m_reader(std::move(reader))
    , m_modules(std::move(modules)) {}

Pkcs11CertificateSource::~Pkcs11CertificateSource() = default;

QString Pkcs11CertificateSource::proxyModule() {
    // Where the build found it first, then where distributions put it.
    const QStringList candidates{
        QStringLiteral(FISCORA_P11KIT_PROXY_MODULE),
        QStringLiteral("/usr/lib/x86_64-linux-gnu/p11-kit-proxy.so"),
        QStringLiteral("/usr/lib/aarch64-linux-gnu/p11-kit-proxy.so"),
        QStringLiteral("/usr/lib64/p11-kit-proxy.so"),
        QStringLiteral("/usr/lib/p11-kit-proxy.so"),
        QStringLiteral("/usr/local/lib/p11-kit-proxy.so"),
    };
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

QStringList Pkcs11CertificateSource::configuredModules(const TokenReader& reader) {
    QStringList modules;
    if (!reader.folder)
        return modules;
    const QStringList named =
        readIniFile(reader.folder->settingsPath(), QStringLiteral("certificados"), QStringLiteral("modulos"))
            .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& path : named) {
        const QString trimmed = path.trimmed();
        if (!trimmed.isEmpty() && !modules.contains(trimmed))
            modules.append(trimmed);
    }
    return modules;
}

QString TokenReader::defaultHelper(const ProgramFolder& folder) {
    return folder.helperProgram(QStringLiteral("fiscora-leitor-pkcs11"));
}

Result<CertificateSource::Listing> Pkcs11CertificateSource::listWithProblems() const {
    // What could not be read is told beside what could; the source itself never fails whole.
    return m_reading.value_or(Listing{});
}

void Pkcs11CertificateSource::read(QObject* context, std::function<void()> done) const {
    if (m_reading) {
        QTimer::singleShot(0, context, std::move(done));
        return;
    }
    m_waiters.append({context, std::move(done)});
    if (!m_job)
        startReading();
}

void Pkcs11CertificateSource::refresh() const {
    m_reading.reset();
    if (!m_job)
        return;
    // A token may have been plugged in after this reading began.
    m_job.reset();
    startReading();
}

void Pkcs11CertificateSource::startReading() const {
    m_job = std::make_unique<TokenReading>(m_reader, m_modules, m_seenTokens,
                                           [this](Listing listing, QHash<QString, QString> seen) {
                                               m_reading = std::move(listing);
                                               m_seenTokens = std::move(seen);
                                               m_job.release()->deleteLater();
                                               // A waiter may refresh, read again or end this source.
                                               const QList<Waiter> waiters = std::exchange(m_waiters, {});
                                               for (const Waiter& waiter : waiters) {
                                                   if (waiter.context)
                                                       waiter.done();
                                               }
                                           });
}

} // namespace fiscora
