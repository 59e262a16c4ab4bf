#pragma once

#include "certificates/CertificateChooser.h"
#include "core/Seams.h"

#include <QCoreApplication>
#include <QDateTime>

namespace fiscora::test {

// The system's time until the test fixes it; an invalid value returns to the system's time.
class TestClock final : public Clock {
public:
    QDateTime now() const override { return m_fixed.isValid() ? m_fixed : QDateTime::currentDateTime(); }
    void fix(const QDateTime& when) { m_fixed = when; }

private:
    QDateTime m_fixed;
};

// Passes each call to the TestPlatform a test has made while it lives, else to the system's
// (of the given program folder).
class PlatformStandIn final : public Platform {
public:
    explicit PlatformStandIn(const ProgramFolder& folder)
        : m_folder(folder) {}

    Platform* test = nullptr;

    bool isAdministrator() override {
        return test ? test->isAdministrator() : SystemPlatform(m_folder.path()).isAdministrator();
    }
    bool openUrl(const QString& url) override { return target().openUrl(url); }
    bool startDetached(const QString& program, const QString& workingFolder) override {
        return target().startDetached(program, workingFolder);
    }
    void quit() override { target().quit(); }

private:
    Platform& target() { return test ? *test : m_system; }
    const ProgramFolder& m_folder;
    SystemPlatform m_system{QString()};
};

// Passes each choice to the file chooser a test has made while it lives, else cancels it.
class FileChooserStandIn final : public FileChooser {
public:
    using FileChooser::FileChooser;
    FileChooser* test = nullptr;

protected:
    QString choose(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                   const QString& filter, const QString& defaultSuffix) override {
        if (!test)
            return {};
        switch (mode) {
        case Mode::Open:
            return test->openFile(parent, caption, directory, filter, defaultSuffix);
        case Mode::Save:
            return test->saveFile(parent, caption, directory, filter, defaultSuffix);
        case Mode::Folder:
            return test->chooseFolder(parent, caption, directory);
        }
        return {};
    }
};

// Passes each choice to the certificate chooser a test has made while it lives, else cancels it.
class CertificateChooserStandIn final : public CertificateChooser {
public:
    using CertificateChooser::CertificateChooser;
    CertificateChooser* test = nullptr;

protected:
    std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred) override {
        return test ? test->choose(parent, title, text, source, preferred) : std::nullopt;
    }
};

// Passes each box to the message box a test has made while it lives, else to the console's.
class MessageBoxStandIn final : public MessageBox {
public:
    explicit MessageBoxStandIn(ModalGate& gate)
        : MessageBox(gate)
        , m_console(gate) {}
    MessageBox* test = nullptr;

protected:
    MessageAnswer ask(const MessageRequest& request) override {
        return test ? test->show(request) : m_console.show(request);
    }

private:
    ConsoleMessageBox m_console;
};

// The seams of a test program's windows and flows.
class TestSeams {
public:
    TestSeams() = default;
    TestSeams(const TestSeams&) = delete;
    TestSeams& operator=(const TestSeams&) = delete;

    const Seams& operator()() const { return m_seams; }

    // The current test folder: a ProgramFolderFixture makes its own current while it lives.
    ProgramFolder folder{QCoreApplication::applicationDirPath()};
    // What this program's boxes hold back; each set of seams has its own.
    ModalGate gate;
    TestClock clock;
    PlatformStandIn platform{folder};
    FileChooserStandIn files{gate};
    MessageBoxStandIn messages{gate};
    CertificateChooserStandIn certificates{gate}; // carried by the services

private:
    Seams m_seams{clock, platform, files, messages, folder, gate};
};

// One set for a whole test program: what its services and journals are built with.
inline TestSeams& sharedSeams() {
    static TestSeams seams;
    return seams;
}

} // namespace fiscora::test
