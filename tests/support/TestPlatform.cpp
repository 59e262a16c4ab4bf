#include "support/TestPlatform.h"

#include "support/TestSeams.h"

namespace fiscora::test {

TestPlatform::TestPlatform() {
    sharedSeams().platform.test = this;
}

TestPlatform::~TestPlatform() {
    sharedSeams().platform.test = nullptr;
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
