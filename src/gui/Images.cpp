#include "gui/Images.h"

#include <QtGlobal>

// Resources compiled into a static library must be registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(fiscora);
}

namespace fiscora {

QPixmap brasao() {
    static const bool registered = (initResources(), true);
    Q_UNUSED(registered);
    return QPixmap(QStringLiteral(":/imagens/brasao.png"));
}

} // namespace fiscora
