#include "support/TestPlatform.h"

namespace fiscora::test {

TestPlatform::TestPlatform() {
    Platform::install(this);
}

TestPlatform::~TestPlatform() {
    Platform::install(nullptr);
}

bool TestPlatform::openUrl(const QString& url) {
    openedUrls.append(url);
    return acceptUrls;
}

bool TestPlatform::startDetached(const QString& program, const QString& workingFolder) {
    started.append(program);
    startedFolders.append(workingFolder);
    return startSucceeds;
}

} // namespace fiscora::test
