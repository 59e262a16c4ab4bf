#include "gui/DatabaseErrorBox.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"

namespace fiscora {

void showDatabaseError(MessageBox& messages, const AppError& failure, const QList<AppError>& providerErrors,
                       bool fullForm) {
    messages.show(AppTexts::programTitle, databaseErrorReport(failure, providerErrors, fullForm),
                  MessageIcon::None, MessageButtons::Ok);
}

} // namespace fiscora
