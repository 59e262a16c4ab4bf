#pragma once

#include "transmission/MonthSituation.h"
#include "transmission/Services.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace fiscora {

// "Situação do mês": every registered taxpayer and where it stands for one reference month, from
// the server's lists (kept while the program runs) and the journal. Filters, search as you type,
// totals, a CSV, the receipts kept for the delivered rows, and the pending GIA companies handed to
// the batch window. Certificates about to expire are named in a line, once a day.
class frmSituacaoMes final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSituacaoMes)

public:
    explicit frmSituacaoMes(const Services& services, QWidget* parent = nullptr);

    const MonthSituation& situation() const { return m_situation; }
    // The rows the filters and the search let through, as shown.
    QList<int> shownRows() const { return m_shown; }

Q_SIGNALS:
    // The pending GIA companies, by IE, to be sent in a batch.
    void batchRequested(const QStringList& ies);

private:
    void load();
    void fillGrid();
    void exportCsv();
    void sendPending();
    // "Abrir recibo": the receipts kept for the chosen row's protocols.
    void openReceipt();

    QLineEdit* m_txtReferencia;
    QCheckBox* m_chkPendentes;
    QComboBox* m_cboRegime;
    QLineEdit* m_txtPesquisa;
    QTableWidget* m_GridMes;
    QLabel* m_lblTotais;
    QLabel* m_lblCertificados; // certificates about to expire, once a day
    QPushButton* m_cmdAtualizar;
    QPushButton* m_cmdRecibo;
    QPushButton* m_cmdExportar;
    QPushButton* m_cmdLote;
    QPushButton* m_cmdFechar;

    TransmissionJournal& m_journal;
    MonthSituation m_situation;
    const Seams m_seams;
    QList<int> m_shown;
};

} // namespace fiscora
