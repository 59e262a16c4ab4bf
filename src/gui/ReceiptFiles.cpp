#include "gui/ReceiptFiles.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Seams.h"
#include "gui/DatabaseErrorBox.h"

#include <QDir>
#include <QUrl>

namespace fiscora {

void openReceiptFiles(const Seams& seams, const Result<QStringList>& files) {
    if (!files) {
        showDatabaseError(seams.messages, files.error());
        return;
    }
    if (files->isEmpty()) {
        seams.messages.show(
            AppTexts::productTitle,
            QStringLiteral("Não há recibo guardado para este envio. O recibo é guardado em PDF "
                           "quando a lista de transmissões do contribuinte mostra o protocolo de um "
                           "envio deste programa; tente de novo depois de atualizar a lista."),
            MessageIcon::Information);
        return;
    }
    for (const QString& path : *files) {
        if (seams.platform.openUrl(QUrl::fromLocalFile(path).toString()))
            continue;
        MessageRequest request;
        request.title = AppTexts::productTitle;
        request.text = QStringLiteral("Não foi possível abrir o recibo. Ele está em:\n\n") +
                       QDir::toNativeSeparators(path);
        request.icon = MessageIcon::Information;
        request.selectable = true;
        seams.messages.show(request);
    }
}

} // namespace fiscora
