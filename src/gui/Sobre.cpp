#include "gui/Sobre.h"

#include "core/AppTexts.h"
#include "gui/Images.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscora {

Sobre::Sobre(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("Sobre"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Fiscora - ") + AppTexts::municipality);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(brasao());

    auto* name =
        new QLabel(QStringLiteral("<b>Fiscora</b><br>Versão ") + QStringLiteral(FISCORA_VERSION) +
                       QStringLiteral("<br><br>Transmissão de declarações de ICMS (GIA e PGDAS) à<br>") +
                       AppTexts::municipality + QStringLiteral("."),
                   this);
    name->setObjectName(QStringLiteral("lblNome"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addWidget(name, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

} // namespace fiscora
