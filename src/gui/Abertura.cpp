#include "gui/Abertura.h"

#include "core/AppTexts.h"
#include "core/Platform.h"
#include "gui/DialogKeys.h"
#include "gui/Images.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace fiscora {

Abertura::Abertura(const Seams& seams, QWidget* parent)
    : QWidget(parent)
    , m_seams(seams)
    , m_picture(new QLabel(this))
    , m_iniciar(new QPushButton(QStringLiteral("Iniciar"), this))
    , m_sobre(new QPushButton(QStringLiteral("Sobre"), this))
    , m_sair(new QPushButton(QStringLiteral("Sair"), this)) {
    setObjectName(QStringLiteral("Abertura"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(AppTexts::windowCaption);

    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setPixmap(brasao());
    m_picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* title = new QLabel(AppTexts::municipality, this);
    title->setObjectName(QStringLiteral("Label4"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* description = new QLabel(
        QStringLiteral(
            "Este software valida e transmite arquivos com extensão  .MDB (Regime Periódico de "
            "Apuração) e/ou .PRF (Pré formatado - apartir do NovaGIA 08.01) e/ou .PDF (Simples "
            "Nacional), via internet, diretamente do seu computador para a  Prefeitura Municipal de "
            "Valdorra."),
        this);
    description->setObjectName(QStringLiteral("Label1"));
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignJustify | Qt::AlignTop);

    m_iniciar->setObjectName(QStringLiteral("Command1"));
    m_sobre->setObjectName(QStringLiteral("Command2"));
    m_sair->setObjectName(QStringLiteral("Command3"));
    setDialogKeys(this, m_iniciar, m_sair);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addSpacing(12);
    text->addWidget(description, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_picture);
    top->addSpacing(16);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_iniciar);
    buttons->addWidget(m_sobre);
    buttons->addWidget(m_sair);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    resize(8715 / 15, 4575 / 15);

    connect(m_iniciar, &QPushButton::clicked, this, &Abertura::iniciar);
    connect(m_sobre, &QPushButton::clicked, this, &Abertura::sobre);
    connect(m_sair, &QPushButton::clicked, this, [this] { m_seams.platform.quit(); });
}

void Abertura::setChecking(bool checking) {
    // Sair stays: the program may end at any time.
    for (QPushButton* button : {m_iniciar, m_sobre})
        button->setEnabled(!checking);
    if (!checking)
        m_iniciar->setFocus();
}

// Only the check disables Iniciar.
bool Abertura::checking() const {
    return !m_iniciar->isEnabledTo(this);
}

void Abertura::iniciar() {
    close();
    Q_EMIT startAsked();
}

void Abertura::sobre() {
    close();
    Q_EMIT aboutAsked();
}

} // namespace fiscora
