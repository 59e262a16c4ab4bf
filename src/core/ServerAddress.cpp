#include "core/ServerAddress.h"

#include "core/Settings.h"

#include <QRegularExpression>

#include <arpa/inet.h>

#include <array>
#include <optional>

namespace fiscora {

namespace {

const QString kSection = QStringLiteral("servidor");

AppError failure(const QString& text) {
    return AppError{0, QStringLiteral("ServerAddress"), text};
}

QString environment(const char* lower, const char* upper = nullptr) {
    const QString value = qEnvironmentVariable(lower);
    if (!value.isEmpty() || !upper)
        return value;
    return qEnvironmentVariable(upper);
}

// An IPv4 or IPv6 address as 16 bytes (IPv4 in the first four) and its family's bit count.
struct IpAddress {
    std::array<unsigned char, 16> bytes{};
    int bits = 0;
};

std::optional<IpAddress> ipAddress(const QString& text) {
    const QByteArray latin = text.toLatin1();
    IpAddress ip;
    if (::inet_pton(AF_INET, latin.constData(), ip.bytes.data()) == 1)
        ip.bits = 32;
    else if (::inet_pton(AF_INET6, latin.constData(), ip.bytes.data()) == 1)
        ip.bits = 128;
    else
        return std::nullopt;
    return ip;
}

// The entry "address" or "address/prefix" holds the address.
bool inSubnet(const IpAddress& address, const QString& entry) {
    const qsizetype slash = entry.indexOf(QLatin1Char('/'));
    const std::optional<IpAddress> network = ipAddress(entry.left(slash));
    if (!network || network->bits != address.bits)
        return false;
    bool ok = true;
    const int prefix = slash < 0 ? network->bits : entry.mid(slash + 1).toInt(&ok);
    if (!ok || prefix < 0 || prefix > network->bits)
        return false;
    for (int bit = 0; bit < prefix; ++bit) {
        const unsigned char mask = static_cast<unsigned char>(0x80 >> (bit % 8));
        if ((address.bytes[bit / 8] & mask) != (network->bytes[bit / 8] & mask))
            return false;
    }
    return true;
}

// Whether a no_proxy list (names, domain suffixes, addresses with or without a prefix length,
// "*" for every host; separated by commas or blanks) names this host.
bool noProxyMatches(const QString& list, const QString& host) {
    QString name = host.toLower();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const std::optional<IpAddress> address = ipAddress(name);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (QString entry : list.toLower().split(separators, Qt::SkipEmptyParts)) {
        if (entry == QLatin1String("*"))
            return true;
        if (address) {
            if (entry.startsWith(QLatin1Char('[')))
                entry.remove(0, 1).remove(QLatin1Char(']'));
            if (inSubnet(*address, entry))
                return true;
            continue;
        }
        while (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        if (!entry.isEmpty() && (name == entry || name.endsWith(QLatin1Char('.') + entry)))
            return true;
    }
    return false;
}

} // namespace

ServerAddress::ServerAddress(QString host, QString port, QString protocol, QString authorities, QString proxy)
    : m_host(std::move(host))
    , m_port(std::move(port))
    , m_scheme(protocol.isEmpty() ? QStringLiteral("http") : protocol.toLower())
    , m_authorities(std::move(authorities))
    , m_proxy(std::move(proxy)) {}

ServerAddress ServerAddress::fromSettings(const ProgramFolder& folder) {
    const IniSection section = readIniSectionFile(folder.settingsPath(), kSection);
    return ServerAddress(section.value(QStringLiteral("host")), section.value(QStringLiteral("port")),
                         section.value(QStringLiteral("protocolo")),
                         section.value(QStringLiteral("certificados")),
                         section.value(QStringLiteral("proxy")));
}

Status ServerAddress::checkProtocol() const {
    if (m_scheme == QLatin1String("http") || m_scheme == QLatin1String("https"))
        return {};
    return failure(QStringLiteral("Protocolo do servidor inválido em fiscora.ini: %1 (use http ou https).")
                       .arg(m_scheme));
}

Result<quint16> ServerAddress::portNumber(const QString& text) {
    bool digits = !text.isEmpty() && text.size() <= 5;
    for (const QChar c : text)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int value = digits ? text.toInt() : 0;
    if (value < 1 || value > 65535)
        return failure(
            QStringLiteral("a porta do servidor (\"%1\") não é um número de porta válido.").arg(text));
    return static_cast<quint16>(value);
}

Result<QString> ServerAddress::webService() const {
    if (m_host.isEmpty() || m_port.isEmpty())
        return failure(QStringLiteral("Servidor não configurado: informe host e port na seção [servidor] de "
                                      "fiscora.ini."));
    if (const Result<quint16> port = portNumber(m_port); !port)
        return failure(QStringLiteral("Porta do servidor inválida em fiscora.ini: ") + m_port);
    if (const Status protocol = checkProtocol(); !protocol)
        return protocol.error();
    return QString(m_scheme + QStringLiteral("://") + m_host + QLatin1Char(':') + m_port +
                   QStringLiteral("/lumo/server/index.php?wsdl"));
}

QString ServerAddress::portalFile(const QString& name) const {
    return m_scheme + QStringLiteral("://") + m_host + QStringLiteral("/lumo/server/") + name;
}

QString ServerAddress::receipt(const QString& ie, const QString& key, const QString& reference) const {
    if (!reference.contains(QLatin1Char('/')))
        return {};
    QString ref = reference;
    ref.remove(QLatin1Char(' '));
    return m_scheme + QStringLiteral("://") + m_host + QStringLiteral("/protocoloDown.php?IE=") + ie +
           QStringLiteral("&key=") + key + QStringLiteral("&ref=") + ref;
}

QString ServerAddress::upload(const QString& script, const QString& query) const {
    return m_scheme + QStringLiteral("://") + m_host + QLatin1Char(':') + m_port +
           QStringLiteral(" /client/") + script + QLatin1Char('?') + query;
}

QString ServerAddress::proxyFor(const QString& scheme, const QString& host) const {
    if (noProxyMatches(environment("no_proxy", "NO_PROXY"), host))
        return {};
    if (!m_proxy.isEmpty())
        return m_proxy;
    // Like libcurl, only the lower-case http_proxy: a CGI program's HTTP_PROXY comes from a header.
    const QString own = scheme == QLatin1String("https") ? environment("https_proxy", "HTTPS_PROXY")
                                                         : environment("http_proxy");
    return own.isEmpty() ? environment("all_proxy", "ALL_PROXY") : own;
}

} // namespace fiscora
