#pragma once

#include <QString>

#include <utility>

namespace fiscora {

// Services of the operating system the program relies on. Tests have their own.
class Platform {
public:
    virtual ~Platform() = default;

    // What administrator rights grant the program: it may write its own folder (or runs as root).
    virtual bool isAdministrator() = 0;
    // Asks the system to open an address in the browser; true when the system accepted it.
    virtual bool openUrl(const QString& url) = 0;
    // Starts a program on its own in that working folder, minimized, without waiting for it;
    // true when it started.
    virtual bool startDetached(const QString& program, const QString& workingFolder) = 0;
    // Ends the program at once (all windows close).
    virtual void quit() = 0;
};

// The system's services that need no window system; opening a browser needs one, so here it
// always fails (the windows have DesktopPlatform).
class SystemPlatform : public Platform {
public:
    // The program folder whose rights isAdministrator tells.
    explicit SystemPlatform(QString folder)
        : m_folder(std::move(folder)) {}

    bool isAdministrator() override;
    bool openUrl(const QString& url) override;
    bool startDetached(const QString& program, const QString& workingFolder) override;
    void quit() override;

private:
    QString m_folder;
};

} // namespace fiscora
