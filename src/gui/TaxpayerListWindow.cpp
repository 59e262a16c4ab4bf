#include "gui/TaxpayerListWindow.h"

#include "core/SearchText.h"
#include "core/Session.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/DialogKeys.h"
#include "gui/ReadOnlyGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fiscora {

namespace {

const QString kHeaderName = QStringLiteral("RAZÃO SOCIAL");

} // namespace

TaxpayerListWindow::TaxpayerListWindow(Session& session, const Seams& seams, const QString& name,
                                       const QString& caption, const QString& instruction, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_session(session)
    , m_seams(seams)
    , m_Label1(new QLabel(instruction, this))
    , m_txtPesquisa(new QLineEdit(this))
    , m_GridSelContribuinte(new QTableWidget(this))
    , m_cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , m_cmdCancelar(new QPushButton(QStringLiteral("&Cancelar"), this)) {
    setObjectName(name);
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_txtPesquisa->setObjectName(QStringLiteral("txtPesquisa"));
    m_txtPesquisa->setPlaceholderText(QStringLiteral("Razão social, IE ou CNPJ"));
    m_txtPesquisa->setClearButtonEnabled(true);
    // The arrows keep moving through the rows while the search has the focus.
    m_txtPesquisa->installEventFilter(this);
    m_GridSelContribuinte->setObjectName(QStringLiteral("GridSelContribuinte"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));
    setDialogKeys(this, m_cmdOK, m_cmdCancelar);

    QTableWidget* grid = m_GridSelContribuinte;
    setUpReadOnlyGrid(
        grid, {QStringLiteral("IE"), kHeaderName, QStringLiteral("CNPJ"), QStringLiteral("CNAE"), QString()});
    grid->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancelar);
    auto* searchLabel = new QLabel(QStringLiteral("&Pesquisar"), this);
    searchLabel->setBuddy(m_txtPesquisa);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_txtPesquisa, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_Label1);
    layout->addLayout(searchRow);
    layout->addWidget(grid, 1);
    layout->addLayout(buttons);

    load();

    connect(m_txtPesquisa, &QLineEdit::textChanged, this, &TaxpayerListWindow::search);
    connect(m_cmdOK, &QPushButton::clicked, this, &TaxpayerListWindow::accept);
    connect(m_cmdCancelar, &QPushButton::clicked, this, &QWidget::close);
}

TaxpayerListWindow::~TaxpayerListWindow() = default;

void TaxpayerListWindow::load() {
    QTableWidget* grid = m_GridSelContribuinte;
    const Result<QList<Taxpayer>> listed = listTaxpayers(m_seams.folder);
    if (!listed) {
        // The list stays empty; OK then says there is nothing to choose.
        showDatabaseError(m_seams.messages, listed.error());
    }
    const QList<Taxpayer> rows = listed.valueOr({});

    grid->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const Taxpayer& row = rows.at(r);
        const QString cells[] = {row.IE, row.RazaoSocial, row.Cnpj, row.Cnae, row.Chave};
        for (int column = ColIE; column <= ColChave; ++column) {
            if (cells[column].isEmpty())
                continue;
            auto* item = new QTableWidgetItem(cells[column]);
            // A name cut short in its column is there whole.
            item->setToolTip(cells[column]);
            grid->setItem(r, column, item);
        }
    }
    // The widths of the original grid, widened where the content needs more; the name's by twice
    // at most, so a long name cannot push the window off the screen.
    const int widths[] = {1300, 4400, 1600, 1000};
    int total = 0;
    for (int column = ColIE; column <= ColCnae; ++column) {
        grid->resizeColumnToContents(column);
        int width = qMax(widths[column] / 15, grid->columnWidth(column) + 8);
        if (column == ColRazaoSocial)
            width = qMin(width, 2 * widths[column] / 15);
        grid->setColumnWidth(column, width);
        total += width;
    }
    grid->resizeColumnToContents(ColChave);
    total += qMax(grid->columnWidth(ColChave), 80);
    if (!rows.isEmpty())
        grid->setCurrentCell(0, ColIE);
    resize(total + 2 * grid->frameWidth() + 40, 320);
}

void TaxpayerListWindow::search(const QString& text) {
    QTableWidget* grid = m_GridSelContribuinte;
    int first = -1;
    for (int row = 0; row < grid->rowCount(); ++row) {
        const auto cellText = [grid, row](Column column) {
            const QTableWidgetItem* item = grid->item(row, column);
            return item ? item->text() : QString();
        };
        const bool shown =
            matchesSearch(text, {cellText(ColIE), cellText(ColRazaoSocial), cellText(ColCnpj)});
        grid->setRowHidden(row, !shown);
        if (shown && first < 0)
            first = row;
    }
    // OK acts on a row the user can see: the current one while it stays, else the first shown.
    const int current = grid->currentRow();
    if (current >= 0 && !grid->isRowHidden(current))
        return;
    grid->clearSelection();
    grid->setCurrentCell(first, first >= 0 ? ColIE : -1);
}

bool TaxpayerListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_txtPesquisa && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QApplication::sendEvent(m_GridSelContribuinte, event);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TaxpayerListWindow::validSelection() const {
    const QString name = cell(ColRazaoSocial);
    return !name.isEmpty() && name != kHeaderName;
}

QString TaxpayerListWindow::cell(Column column) const {
    const int row = m_GridSelContribuinte->currentRow();
    const QTableWidgetItem* item = row >= 0 ? m_GridSelContribuinte->item(row, column) : nullptr;
    return item ? item->text() : QString();
}

void TaxpayerListWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Q_EMIT closed();
}

} // namespace fiscora
