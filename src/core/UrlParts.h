#pragma once

#include <QString>

namespace fiscora {

struct UrlParts {
    QString Scheme;
    QString Host;
    // 0 when none was given or it was not a number; kPortTooLarge when the number does not fit
    // the 16-bit field: the caller then reports a failure to connect.
    int Port = 0;
    QString Path;
    QString Query;

    static constexpr int kPortTooLarge = -1;
};

UrlParts SplitUrl(const QString& url);

} // namespace fiscora
