#include "certificates/Pkcs11CertificateSource.h"

#include "certificates/Pkcs11Protocol.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QSslCertificateExtension>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

namespace fiscora {

namespace {

namespace proto = pkcs11protocol;

QString g_helperPath;
std::atomic<int> g_timeLimitOverride{0};

// Token drivers answer in well under a second; a reader that stops answering must not keep the
// chooser waiting for long.
constexpr int kDefaultTimeLimitMs = 8000;

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

// A certification authority's certificate often rides on the token with the holder's; only the
// holder's is offered, as in the imported store.
bool isAuthority(const Certificate& certificate) {
    for (const QSslCertificateExtension& extension : certificate.qt().extensions()) {
        if (extension.oid() == u"2.5.29.19")
            return extension.value().toMap().value(QStringLiteral("ca")).toBool();
    }
    return false;
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

// Starts the helper once per argument list at once and waits for them until the deadline: the
// chooser waits for the slowest, not the sum. The window is repainted meanwhile but takes no
// input, as during a network call. An empty argument list has no process; one still running at
// the end is left to the caller.
std::vector<std::unique_ptr<QProcess>> runHelpers(const QString& helper, const QList<QStringList>& runs,
                                                  const QDeadlineTimer& deadline) {
    std::vector<std::unique_ptr<QProcess>> processes;
    QEventLoop loop;
    int running = 0;
    auto ended = [&loop, &running] {
        if (--running == 0)
            loop.quit();
    };
    for (const QStringList& arguments : runs) {
        if (arguments.isEmpty()) {
            processes.emplace_back();
            continue;
        }
        auto process = std::make_unique<QProcess>();
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process.get(), &QProcess::finished, &loop, ended);
        QObject::connect(process.get(), &QProcess::errorOccurred, &loop,
                         [ended](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart)
                                 ended();
                         });
        ++running;
        process->start(helper, arguments, QIODevice::ReadOnly);
        processes.push_back(std::move(process));
    }
    if (running > 0) {
        QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    for (const auto& process : processes) {
        if (process)
            process->disconnect(&loop);
    }
    return processes;
}

// The drivers registered with p11-kit, read one by one: through its proxy, one driver that fails
// can hide the tokens of all the others, and the user is not told which. When p11-kit cannot
// list them, its proxy as before.
QList<Module> registeredModules(const QString& helper, const QDeadlineTimer& deadline) {
    const std::vector<std::unique_ptr<QProcess>> processes = runHelpers(
        helper, QList<QStringList>{QStringList{QString::fromLatin1(proto::kRegistered)}}, deadline);
    QProcess* process = processes.front().get();
    ModuleReading reading;
    if (process->state() == QProcess::NotRunning && process->exitStatus() == QProcess::NormalExit &&
        process->exitCode() == proto::Done) {
        reading = decode(process->readAllStandardOutput());
    } else {
        process->kill();
        process->waitForFinished(2000);
    }
    if (reading.complete)
        return reading.modules;
    const QString proxy = Pkcs11CertificateSource::proxyModule();
    return proxy.isEmpty() ? QList<Module>{} : QList<Module>{systemModule(proxy)};
}

// The same file reached by two paths is read once.
QString identity(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

Pkcs11CertificateSource::Pkcs11CertificateSource() = default;

Pkcs11CertificateSource::Pkcs11CertificateSource(QStringList modules)
    : m_modules(std::move(modules)) {}

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

QStringList Pkcs11CertificateSource::configuredModules() {
    QStringList modules;
    const QStringList named = ReadIni(QStringLiteral("certificados"), QStringLiteral("modulos"))
                                  .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& path : named) {
        const QString trimmed = path.trimmed();
        if (!trimmed.isEmpty() && !modules.contains(trimmed))
            modules.append(trimmed);
    }
    return modules;
}

QString Pkcs11CertificateSource::helperPath() {
    if (!g_helperPath.isEmpty())
        return g_helperPath;
    return ProgramFolder::helperProgram(QStringLiteral("fiscora-leitor-pkcs11"));
}

void Pkcs11CertificateSource::setHelperPath(const QString& path) {
    g_helperPath = path;
}

int Pkcs11CertificateSource::timeLimitMs() {
    const int fixed = g_timeLimitOverride.load();
    return fixed > 0 ? fixed : kDefaultTimeLimitMs;
}

void Pkcs11CertificateSource::setTimeLimitMs(int milliseconds) {
    g_timeLimitOverride = qMax(0, milliseconds);
}

Result<CertificateSource::Listing> Pkcs11CertificateSource::listWithProblems() const {
    if (!m_reading)
        m_reading = read();
    // What could not be read is told beside what could; the source itself never fails whole.
    return *m_reading;
}

void Pkcs11CertificateSource::refresh() const {
    m_reading.reset();
}

CertificateSource::Listing Pkcs11CertificateSource::read() const {
    Listing result;
    const QString helper = helperPath();
    if (!QFileInfo(helper).isExecutable()) {
        result.problems.append(QStringLiteral("O leitor de tokens (fiscora-leitor-pkcs11) não foi "
                                              "encontrado na pasta do programa."));
        return result;
    }

    // Each file once, though the settings may name a registered driver again.
    const QDeadlineTimer deadline(timeLimitMs());
    QList<Module> modules;
    QSet<QString> files;
    auto add = [&modules, &files](const Module& module) {
        if (!files.contains(identity(module.path))) {
            files.insert(identity(module.path));
            modules.append(module);
        }
    };
    if (!m_modules) {
        for (const Module& module : registeredModules(helper, deadline))
            add(module);
    }
    for (const QString& path : m_modules ? *m_modules : configuredModules())
        add(namedModule(path));
    if (modules.isEmpty())
        return result;
    QList<QStringList> runs;
    for (const Module& module : modules)
        runs.append(QFileInfo(module.path).isFile() ? QStringList{module.path} : QStringList{});

    const std::vector<std::unique_ptr<QProcess>> processes = runHelpers(helper, runs, deadline);

    QSet<QByteArray> listed;
    QHash<QString, QString> tokensNow;
    QSet<QString> modulesRead;
    auto problem = [&result](const QString& text) {
        if (!result.problems.contains(text))
            result.problems.append(text);
    };
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const QString& module = modules.at(qsizetype(i)).path;
        const QString& moduleName = modules.at(qsizetype(i)).name;
        QProcess* process = processes[i].get();
        if (!process) {
            problem(QStringLiteral("O módulo PKCS#11 %1 não foi encontrado.").arg(moduleName));
            continue;
        }
        if (process->error() == QProcess::FailedToStart) {
            problem(QStringLiteral("O leitor de tokens (fiscora-leitor-pkcs11) não pôde ser iniciado."));
            continue;
        }
        const bool finished = process->state() == QProcess::NotRunning;
        if (!finished) {
            process->kill();
            process->waitForFinished(2000);
        }
        const ModuleReading reading = decode(process->readAllStandardOutput());
        if (!finished) {
            problem(QStringLiteral("O módulo PKCS#11 %1 não respondeu em %2 segundos.")
                        .arg(moduleName)
                        .arg((timeLimitMs() + 999) / 1000));
        } else if (process->exitStatus() != QProcess::NormalExit) {
            problem(QStringLiteral("O módulo PKCS#11 %1 terminou de forma anormal.").arg(moduleName));
        } else if (process->exitCode() == proto::ModuleFailed || process->exitCode() == proto::SlotsFailed) {
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
                if (isAuthority(certificate))
                    continue;
                ++personal;
                if (listed.contains(certificate.der()))
                    continue; // the same token through the proxy and through its own module
                listed.insert(certificate.der());
                result.certificates.append(certificate);
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
    m_seenTokens = seen;
    return result;
}

} // namespace fiscora
