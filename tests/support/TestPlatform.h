#pragma once

#include "core/Platform.h"

#include <QStringList>

namespace fiscora::test {

// Answers the administrator check as told and records what the program asked of the system.
// Stands in the test seams' platform for its lifetime.
class TestPlatform final : public Platform {
public:
    TestPlatform();
    ~TestPlatform() override;
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    bool administrator = true;
    bool acceptUrls = true;
    bool startSucceeds = true;
    QStringList openedUrls;
    QStringList started;        // the programs, in order
    QStringList startedFolders; // their working folders
    int quitCalls = 0;

    bool isAdministrator() override { return administrator; }
    bool openUrl(const QString& url) override;
    bool startDetached(const QString& program, const QString& workingFolder) override;
    void quit() override { ++quitCalls; }
};

} // namespace fiscora::test
