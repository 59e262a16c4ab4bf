#pragma once

#include "core/Seams.h"
#include "core/ServerAddress.h"
#include "net/HttpClient.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace fiscora {

class Platform;

// What the start-up window's load decided.
enum class StartupOutcome {
    ShowWindow, // show the start-up window
    Quit,       // the program ends (the updater was started)
};

// The version check and self-update of the start-up window's load: the version file is
// downloaded, compared with the stamp and, when they differ, the updater is downloaded with its
// signature and started (only when the signature covers it and the announced version, and that
// version is not older than the running one). Each download is a job of this object; the boxes
// the user must see come in order as the check goes. Destroying it ends the check.
class StartupCheck final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StartupCheck)

public:
    StartupCheck(const HttpClient& http, const Seams& seams, QObject* parent = nullptr);
    ~StartupCheck() override;

    // Whether the user may run the check at all (read when made).
    bool administrator() const { return m_administrator; }
    // Starts the check; once only.
    void start();
    // `done` gets the outcome once, later: when the check ends, or at once (on the next turn of
    // the event loop) when it has ended already; not at all when `context` is gone by then.
    void whenFinished(QObject* context, std::function<void(StartupOutcome)> done);
    // After the end: the version downloaded in this start is the installed one.
    bool versionConfirmed() const { return m_versionConfirmed; }

private:
    struct Waiter {
        QPointer<QObject> context;
        std::function<void(StartupOutcome)> done;
    };

    void versionFetched(const Result<QByteArray>& body);
    void updaterFetched(const Result<QByteArray>& updater);
    void signatureFetched(const QByteArray& updater, bool kept, const Status& verified);
    void finish(StartupOutcome outcome);

    Platform& m_platform;
    MessageBox& m_messages;
    bool m_administrator = false;
    bool m_started = false;
    bool m_versionConfirmed = false;
    HttpClient m_http;
    ServerAddress m_server;
    QByteArray m_announced; // the version the server announces, as it is signed
    std::optional<StartupOutcome> m_outcome;
    QList<Waiter> m_waiting;
};

} // namespace fiscora
