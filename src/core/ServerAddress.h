#pragma once

#include "core/ProgramFolder.h"
#include "core/Result.h"

#include <QString>

namespace fiscora {

// Where the server is and how to reach it, from section [servidor] of the settings: host, port
// (the web service and the uploads), protocolo (http, the default, or https), certificados (a
// PEM file of the authorities that may sign the server's certificate, instead of the system's)
// and proxy (used instead of the proxy environment). Every address of the server is built here.
class ServerAddress {
public:
    ServerAddress(QString host, QString port, QString protocol = {}, QString authorities = {},
                  QString proxy = {});
    // The settings as they are now: read afresh, since the user may edit the file at any time.
    static ServerAddress fromSettings(const ProgramFolder& folder);

    const QString& port() const { return m_port; }
    const QString& authorities() const { return m_authorities; }

    // The one check of a port number as the settings or an address give it: decimal digits,
    // 1 to 65535.
    static Result<quint16> portNumber(const QString& text);

    // The web service: fails when host or port is missing or not usable.
    Result<QString> webService() const;
    // A file the server publishes beside its web service (version file, updater, signature),
    // always on the default port of the protocol.
    QString portalFile(const QString& name) const;
    // The receipt page of a reference (its blanks dropped, nothing escaped); empty when the
    // reference has no "/".
    QString receipt(const QString& ie, const QString& key, const QString& reference) const;
    // An upload script's address as the upload windows keep it, with the blank before the path
    // that the server has always received.
    QString upload(const QString& script, const QString& query) const;

    // The proxy for a connection to this scheme and host, empty for a direct one: the proxy
    // setting, else the environment (http_proxy, https_proxy or HTTPS_PROXY, all_proxy or
    // ALL_PROXY); no_proxy (or NO_PROXY) names hosts reached directly either way.
    QString proxyFor(const QString& scheme, const QString& host) const;

private:
    // The protocol setting is one the program speaks.
    Status checkProtocol() const;

    QString m_host;
    QString m_port;
    // "http" or "https"; the setting as written when it is neither (refused by checkProtocol()).
    QString m_scheme;
    QString m_authorities;
    QString m_proxy;
};

} // namespace fiscora
