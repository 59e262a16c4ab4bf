#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class QObject;

namespace fiscora {

class HttpClient;

// The access-key request Transferencia.ecnpj, shared by the taxpayer creation window and the
// company import.
struct KeyAnswer {
    enum class Status {
        Granted, // serverDate, simples and chave read from their positions
        Refused, // "NAO_AUTORIZADO" somewhere in the answer
        Failed,  // no answer, or one too short or without a readable date
    };
    Status status = Status::Failed;
    QDateTime serverDate; // characters 21-39
    bool simples = false; // character 51 is "S"
    QString chave;        // characters 61-68
};

class KeyRequest {
public:
    // The fixed "key" every request carries.
    static const QString clientKey;

    // Posts "ie", "cnpj" (as the fields deliver them) and "key" as a job of `context`: `done`
    // runs once, later.
    static void request(const HttpClient& http, const QString& ie, const QString& cnpj, QObject* context,
                        std::function<void(KeyAnswer)> done);
    // Reads a whole answer text as the request does.
    static KeyAnswer read(const QString& responseText);
};

} // namespace fiscora
