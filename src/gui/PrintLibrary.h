#pragma once

#include "core/ProgramModule.h"
#include "core/Result.h"

#include <functional>

class QDialog;
class QPagedPaintDevice;
class QWidget;

namespace fiscora {

// The system's print dialog, from Qt Print Support. It sits, linked, in the module
// fiscora-impressao.so, loaded with the first receipt printed.
class PrintLibrary {
public:
    static constexpr char kModule[] = "fiscora-impressao.so";
    static constexpr char kEntry[] = "fiscora_impressao";

    virtual ~PrintLibrary() = default;
    // A print dialog child of `parent`, not yet shown; once accepted, `accepted` paints on the
    // printer chosen.
    virtual QDialog* printDialog(QWidget* parent, std::function<void(QPagedPaintDevice*)> accepted) const = 0;
};

// The module's library, loaded on the first call, or why it could not be. On the window thread.
inline const Result<const PrintLibrary*>& printLibrary() {
    return programModuleObject<PrintLibrary>();
}

} // namespace fiscora
