// Qt Print Support, linked here and nowhere else: the windows load this module with the first
// receipt they print (gui/PrintLibrary), so the start-up window does not load it.

#include "gui/PrintLibrary.h"

#include <QPrintDialog>
#include <QPrinter>

#include <memory>

namespace {

class QtPrinting final : public fiscora::PrintLibrary {
public:
    QDialog* printDialog(QWidget* parent, std::function<void(QPagedPaintDevice*)> accepted) const override {
        auto printer = std::make_shared<QPrinter>();
        auto* dialog = new QPrintDialog(printer.get(), parent);
        QObject::connect(dialog, &QDialog::accepted, dialog,
                         [printer, accepted = std::move(accepted)] { accepted(printer.get()); });
        return dialog;
    }
};

} // namespace

// Called once (the loader keeps the answer).
extern "C" __attribute__((visibility("default"))) const void* fiscora_impressao() {
    static const QtPrinting library;
    return static_cast<const fiscora::PrintLibrary*>(&library);
}
