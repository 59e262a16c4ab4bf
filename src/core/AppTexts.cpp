#include "core/AppTexts.h"

namespace fiscora {

const QString AppTexts::productTitle = QStringLiteral("Fiscora");
const QString AppTexts::programTitle = QStringLiteral("fiscora");
const QString AppTexts::errorTitle = QStringLiteral("ERROR");
const QString AppTexts::municipality = QStringLiteral("Prefeitura Municipal de Valdorra");
const QString AppTexts::accountantMissing =
    QStringLiteral("É necessário informar os dados do contador para envio da declaração");
const QString AppTexts::windowCaption =
    QStringLiteral("Fiscora - Prefeitura Municipal de Valdorra - Versão ") + QStringLiteral(FISCORA_VERSION);

} // namespace fiscora
