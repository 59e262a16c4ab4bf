// fiscora-servidor: a stand-in for the municipality's server, for the demo and the tests.
#include "GuardedServer.h"
#include "Operations.h"
#include "RequestLog.h"
#include "ServerStore.h"
#include "SoapService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstring>
#include <thread>

using namespace servidor;

namespace {

struct Options {
    std::string address = "127.0.0.1";
    int port = 8080;
    int portalPort = 0; // 80, or 443 with TLS
    const char* certificate = nullptr;
    const char* certificateKey = nullptr;
    QString dataFolder = QStringLiteral("dados-servidor");
    const char* seed = nullptr;
    const char* updateKey = nullptr;
    int headerTimeMs = 10'000;
    int uploadHoldMs = 0;
    int listHoldMs = 0;
    int refusedReceipts = 0;
};

// What each route accepts as a request body. The SOAP envelopes the client sends are a few
// kilobytes; the uploads carry a GIA database or a PDF.
constexpr std::size_t kDefaultBodyLimit = std::size_t(64) << 10;
constexpr std::size_t kSoapBodyLimit = std::size_t(1) << 20;
// The upload routes rely on this limit alone; a large NovaGIA export must still fit.
constexpr std::size_t kUploadBodyLimit = std::size_t(200) << 20;

// The contract of the updater's signature, kept here apart from the client's own copy so that a
// fault in either shows in the end-to-end tests: what is signed is "fiscora-atualizacao", NUL,
// the announced version, NUL, the updater's bytes; a signature file is read up to this size.
constexpr qint64 kMaxSignatureBytes = 1024;

QByteArray signedMessage(const QByteArray& version, const QByteArray& updater) {
    return QByteArrayLiteral("fiscora-atualizacao") + '\0' + version + '\0' + updater;
}

void usage() {
    std::fprintf(stderr, "uso: fiscora-servidor [--endereco IP] [--porta N] [--porta-portal N] "
                         "[--dados PASTA] [--semente ARQUIVO] [--chave-atualizacao CHAVE.pem] "
                         "[--tempo-cabecalho-ms N] [--espera-envio-ms N] [--espera-lista-ms N] "
                         "[--recusar-recibos N] [--certificado CERT.pem "
                         "--chave-certificado CHAVE.pem]\n");
}

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "--endereco") == 0 && hasValue)
            options->address = argv[++i];
        else if (std::strcmp(arg, "--porta") == 0 && hasValue)
            options->port = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--porta-portal") == 0 && hasValue)
            options->portalPort = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--dados") == 0 && hasValue)
            options->dataFolder = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(arg, "--semente") == 0 && hasValue)
            options->seed = argv[++i];
        else if (std::strcmp(arg, "--chave-atualizacao") == 0 && hasValue)
            options->updateKey = argv[++i];
        else if (std::strcmp(arg, "--tempo-cabecalho-ms") == 0 && hasValue)
            options->headerTimeMs = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--espera-envio-ms") == 0 && hasValue)
            options->uploadHoldMs = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--espera-lista-ms") == 0 && hasValue)
            options->listHoldMs = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--recusar-recibos") == 0 && hasValue)
            options->refusedReceipts = std::atoi(argv[++i]);
        else if (std::strcmp(arg, "--certificado") == 0 && hasValue)
            options->certificate = argv[++i];
        else if (std::strcmp(arg, "--chave-certificado") == 0 && hasValue)
            options->certificateKey = argv[++i];
        else
            return false;
    }
    if (options->portalPort == 0)
        options->portalPort = options->certificate ? 443 : 80;
    return options->port > 0 && options->port < 65536 && options->headerTimeMs > 0 &&
           options->listHoldMs >= 0 && options->refusedReceipts >= 0 &&
           !options->certificate == !options->certificateKey;
}

QString target(const httplib::Request& request) {
    QString text = QString::fromStdString(request.path);
    if (!request.params.empty()) {
        QString query;
        for (const auto& [key, value] : request.params)
            query += (query.isEmpty() ? QString() : QStringLiteral("&")) + QString::fromStdString(key) +
                     (value.empty() ? QString() : QLatin1Char('=') + QString::fromStdString(value));
        text += QLatin1Char('?') + query;
    }
    return text;
}

// Serves a file of the data folder as it is; 404 when absent.
void serveFile(const QString& folder, const QString& name, httplib::Response& response) {
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        response.status = 404;
        return;
    }
    const QByteArray bytes = file.readAll();
    response.set_content(bytes.constData(), static_cast<size_t>(bytes.size()), "application/octet-stream");
}

// The signature of the served updater: the data folder's own signature file when it has one (a
// real server publishes the vendor's), else made with the private key given at start (the demo's
// and the tests' key) over the announced version and the updater. Empty when there is neither.
QByteArray updaterSignature(const QString& folder, const char* keyPath) {
    QFile published(QDir(folder).filePath(QStringLiteral("atualizacao_fiscora.exe.sig")));
    if (published.open(QIODevice::ReadOnly))
        return published.read(kMaxSignatureBytes);
    QFile updater(QDir(folder).filePath(QStringLiteral("atualizacao_fiscora.exe")));
    QFile version(QDir(folder).filePath(QStringLiteral("versao.txt")));
    QFile keyFile(QString::fromLocal8Bit(keyPath));
    if (!keyPath || !updater.open(QIODevice::ReadOnly) || !version.open(QIODevice::ReadOnly) ||
        !keyFile.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = signedMessage(version.readAll().trimmed(), updater.readAll());
    const QByteArray pem = keyFile.readAll();
    QByteArray signature(64, '\0');
    BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::size_t length = std::size_t(signature.size());
    const bool signedOk = key && context &&
                          EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key) == 1 &&
                          EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                                         reinterpret_cast<const unsigned char*>(data.constData()),
                                         std::size_t(data.size())) == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    BIO_free(bio);
    ERR_clear_error();
    return signedOk && length == 64 ? signature : QByteArray();
}

// Logged once the answer is ready but before it is sent, so a client that has its answer can
// already read the line (the library's own logger runs after sending).
void logEverything(httplib::Server& server, RequestLog& log) {
    server.set_post_routing_handler([&log](const httplib::Request& request, httplib::Response& response) {
        const QString line = QString::fromStdString(request.method) + QLatin1Char(' ') + target(request);
        log.write(line + QLatin1Char(' ') + QString::number(response.status));
        const std::chrono::duration<double, std::milli> taken =
            std::chrono::steady_clock::now() - GuardedServer::requestStart();
        log.writeTime(line, request.remote_port, taken.count());
    });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        usage();
        return 2;
    }
    const QString folder = QDir(options.dataFolder).absolutePath();
    ServerStore store(folder);
    if (!store.isOpen())
        return 1;
    if (options.seed && !loadSeed(store, options.seed))
        return 1;
    RequestLog log(folder);

    SoapService service;
    registerDiagnosticOperations(service, store);
    registerTransferOperations(service, store, std::chrono::milliseconds(options.listHoldMs));
    registerKeyOperations(service, store);

    GuardedServer::Times times;
    times.header = std::chrono::milliseconds(options.headerTimeMs);
    GuardedServer api(kDefaultBodyLimit);
    api.setTimes(times);
    api.setBodyLimit("/lumo/server/index.php", kSoapBodyLimit);
    api.setBodyLimit("/client/", kUploadBodyLimit);
    // With a certificate every port speaks TLS.
    const auto secure = [&options](GuardedServer& server) {
        std::string error;
        if (!options.certificate || server.useTls(options.certificate, options.certificateKey, &error))
            return true;
        std::fprintf(stderr, "fiscora-servidor: certificado %s ou chave %s inutilizável: %s\n",
                     options.certificate, options.certificateKey, error.c_str());
        return false;
    };
    if (!secure(api))
        return 1;
    logEverything(api, log);
    api.Post("/lumo/server/index.php",
             [&service](const httplib::Request& request, httplib::Response& response) {
                 int status = 200;
                 const QByteArray answer =
                     service.handle(QByteArray::fromStdString(request.body), &status,
                                    QString::fromStdString(request.get_header_value("SOAPAction")),
                                    QString::fromStdString(request.get_header_value("Content-Type")));
                 response.status = status;
                 response.set_content(answer.constData(), static_cast<size_t>(answer.size()),
                                      "application/soap+xml; charset=utf-8");
             });
    registerUploadRoutes(api, store, log, std::chrono::milliseconds(options.uploadHoldMs));

    // The portal (version file, updater, receipt page) answers on port 80 (443 with TLS); the same port as
    // the web service may serve both, for runs without rights to port 80.
    const bool samePort = options.portalPort == options.port;
    GuardedServer portalServer(kDefaultBodyLimit);
    portalServer.setTimes(times);
    if (!samePort && !secure(portalServer))
        return 1;
    httplib::Server& portal = samePort ? static_cast<httplib::Server&>(api) : portalServer;
    if (!samePort)
        logEverything(portal, log);
    portal.Get("/lumo/server/versao.txt", [&folder](const httplib::Request&, httplib::Response& response) {
        serveFile(folder, QStringLiteral("versao.txt"), response);
    });
    portal.Get("/lumo/server/atualizacao_fiscora.exe",
               [&folder](const httplib::Request&, httplib::Response& response) {
                   serveFile(folder, QStringLiteral("atualizacao_fiscora.exe"), response);
               });
    portal.Get("/lumo/server/atualizacao_fiscora.exe.sig",
               [&folder, &options](const httplib::Request&, httplib::Response& response) {
                   const QByteArray signature = updaterSignature(folder, options.updateKey);
                   if (signature.isEmpty()) {
                       response.status = 404;
                       return;
                   }
                   response.set_content(signature.constData(), std::size_t(signature.size()),
                                        "application/octet-stream");
               });
    registerPortalRoutes(portal, store, log, options.refusedReceipts);

    if (!api.bind_to_port(options.address, options.port)) {
        std::fprintf(stderr, "fiscora-servidor: não foi possível escutar em %s:%d\n", options.address.c_str(),
                     options.port);
        return 1;
    }
    const bool portalBound = samePort || portal.bind_to_port(options.address, options.portalPort);
    if (!portalBound)
        std::fprintf(stderr, "fiscora-servidor: porta %d indisponível em %s; sem versão nem recibos\n",
                     options.portalPort, options.address.c_str());

    std::thread portalThread;
    if (portalBound && !samePort)
        portalThread = std::thread([&portalServer] { portalServer.listen_after_bind(); });

    // Tells a launcher the server is listening, and on which ports.
    QSaveFile ready(QDir(folder).filePath(QStringLiteral("pronto")));
    if (ready.open(QIODevice::WriteOnly)) {
        ready.write(QByteArrayLiteral("porta=") + QByteArray::number(options.port) +
                    "\nportal=" + QByteArray::number(portalBound ? options.portalPort : 0) + '\n');
        ready.commit();
    }
    std::fprintf(stderr, "fiscora-servidor: escutando em %s:%d (portal %d)\n", options.address.c_str(),
                 options.port, portalBound ? options.portalPort : 0);
    api.listen_after_bind();
    portalServer.stop();
    if (portalThread.joinable())
        portalThread.join();
    return 0;
}
