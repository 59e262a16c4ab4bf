#include "gui/Ajuda.h"

#include "core/MessageBox.h"
#include "core/ProgramFolder.h"
#include "gui/OpenWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace fiscora {

namespace {

const QString kGuide = QStringLiteral("guia.md");
const QString kTitle = QStringLiteral("Ajuda do Fiscora");

} // namespace

Ajuda::Ajuda(const QString& markdown, const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Ajuda"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kTitle);

    auto* texto = new QTextBrowser(this);
    texto->setObjectName(QStringLiteral("txtGuia"));
    texto->setOpenExternalLinks(true);
    texto->document()->setDocumentMargin(12);
    // The guide names its pictures relative to its own folder.
    texto->setSearchPaths({folder});
    // Notes for the guide's editors are HTML comments, which Qt's Markdown would show as text.
    static const QRegularExpression comments(QStringLiteral("<!--.*?-->"),
                                             QRegularExpression::DotMatchesEverythingOption);
    texto->setMarkdown(QString(markdown).remove(comments));

    // Esc closes it, as it closes the other windows.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(texto);
    resize(900, 700);
}

QString Ajuda::guidePath(const ProgramFolder& folder) {
    const QString installed = QDir::cleanPath(folder.executableFolder() + QLatin1Char('/') +
                                              QLatin1String(FISCORA_DOCS_RELDIR) + QLatin1Char('/') + kGuide);
    if (QFileInfo::exists(installed))
        return installed;
    // A build runs from its build folder, with the guide still in the sources.
    const QString source = QLatin1String(FISCORA_SOURCE_DOCS) + QLatin1Char('/') + kGuide;
    return QFileInfo::exists(source) ? source : QString();
}

void Ajuda::open(const Seams& seams) {
    Ajuda* window = openWindow<Ajuda>();
    if (!window) {
        const QString path = guidePath(seams.folder);
        if (path.isEmpty()) {
            seams.messages.show(
                kTitle,
                QStringLiteral("O guia do usuário (%1) não foi encontrado. Reinstale o Fiscora.").arg(kGuide),
                MessageIcon::Warning);
            return;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            seams.messages.show(kTitle,
                                QStringLiteral("Não foi possível abrir o guia do usuário %1: %2.")
                                    .arg(QDir::toNativeSeparators(path), file.errorString()),
                                MessageIcon::Warning);
            return;
        }
        window = new Ajuda(QString::fromUtf8(file.readAll()), QFileInfo(path).absolutePath());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace fiscora
