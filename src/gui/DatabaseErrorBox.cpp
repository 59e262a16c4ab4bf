#include "gui/DatabaseErrorBox.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"

namespace fiscora {

void showDatabaseError(const AppError& failure, const QList<AppError>& providerErrors, bool fullForm) {
    MessageBox::show(AppTexts::programTitle, databaseErrorReport(failure, providerErrors, fullForm),
                     MessageIcon::None, MessageButtons::Ok);
}

} // namespace fiscora
