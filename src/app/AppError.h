#pragma once

#include <QString>

namespace fiscora {

// A failure as the program reports it: a number, the component that raised it, a description.
struct AppError {
    qint64 number = 0;
    QString source;
    QString description;
};

} // namespace fiscora
