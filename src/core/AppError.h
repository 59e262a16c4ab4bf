#pragma once

#include <QString>

namespace fiscora {

// A failure as the program reports it: a number, the component that raised it, a description.
// The description is the Portuguese text a window can show as it stands.
struct AppError {
    qint64 number = 0;
    QString source;
    QString description;

    // A failure known only by its text.
    static AppError message(QString description) { return AppError{0, QString(), std::move(description)}; }
};

} // namespace fiscora
