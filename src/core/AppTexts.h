#pragma once

#include <QString>

namespace fiscora {

// Titles and captions shared by many windows.
struct AppTexts {
    static const QString productTitle; // "Fiscora": where the program names the product
    static const QString programTitle; // "fiscora": the program's own title
    static const QString errorTitle;   // "ERROR": technical upload messages
    static const QString windowCaption;
    static const QString municipality;
    static const QString accountantMissing; // a transmission without the accountant's data
};

} // namespace fiscora
