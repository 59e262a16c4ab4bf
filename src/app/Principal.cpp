#include "app/Principal.h"

#include "app/AppTexts.h"

namespace fiscora {

namespace {
Principal* g_instance = nullptr;
}

Principal::Principal(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("Principal"));
    setWindowTitle(AppTexts::windowCaption);
    resize(10785 / 15, 6705 / 15);
    g_instance = this;
}

Principal::~Principal() {
    if (g_instance == this)
        g_instance = nullptr;
}

Principal* Principal::instance() {
    return g_instance;
}

Principal* Principal::showMain() {
    Principal* main = g_instance ? g_instance : new Principal;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    main->raise();
    return main;
}

} // namespace fiscora
