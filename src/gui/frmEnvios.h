#pragma once

#include "core/Seams.h"
#include "data/TransmissionJournal.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace fiscora {

class Session;

// "Envios realizados": the journal of transmissions, filtered by taxpayer, period, reference,
// outcome and a search as you type, the details of the chosen row, and "Exportar CSV" of the rows
// shown. Each time it is shown it
// turns to the current taxpayer's rows (all, without one); it reads the journal again whenever
// it is shown or a filter changes.
class frmEnvios final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmEnvios)

public:
    enum Column {
        ColData,
        ColSituacao,
        ColContribuinte,
        ColTipo,
        ColReferencias,
        ColProtocolos,
        ColArquivo,
        ColumnCount
    };

    frmEnvios(Session& session, TransmissionJournal& journal, const Seams& seams, QWidget* parent = nullptr);

    // The rows shown, in the grid's order.
    const QList<JournalEntry>& shownEntries() const { return m_shown; }
    // "Exportar CSV"
    void exportCsv();
    // The file name "Exportar CSV" proposes: today's date and the filters, e.g.
    // "envios-2026-12-09-sem-confirmacao.csv".
    QString proposedCsvName() const;
    // "Abrir recibo": the receipts kept for the chosen row's protocols.
    void openReceipt();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadTaxpayers();
    void reload();
    void showDetails();

    Session& m_session;
    TransmissionJournal& m_journal;
    const Seams m_seams;
    QComboBox* m_cboContribuinte;
    QComboBox* m_cboSituacao;
    QCheckBox* m_chkPeriodo;
    QDateEdit* m_dtpDe;
    QDateEdit* m_dtpAte;
    QCheckBox* m_chkReferencia;
    QDateEdit* m_dtpReferencia;
    QLineEdit* m_txtPesquisa;
    QSplitter* m_splitter;
    QTableWidget* m_GridEnvios;
    QPlainTextEdit* m_txtDetalhes;
    QLabel* m_lblTotal;
    QPushButton* m_cmdRecibo;
    QPushButton* m_cmdExportar;
    QPushButton* m_cmdFechar;
    QList<JournalEntry> m_shown;
};

// The details of a row as the window shows them, one "Name: value" line per field.
QString journalEntryDetails(const JournalEntry& entry);

} // namespace fiscora
