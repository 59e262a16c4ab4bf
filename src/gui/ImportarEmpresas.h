#pragma once

#include "certificates/Certificate.h"
#include "data/CompanyExport.h"

#include <QWidget>

#include <functional>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace fiscora {

struct Services;

struct KeyAnswer;

// The company import from a NovaGIA export, opened by the taxpayer creation window: the user
// chooses an export, loads it for inspection, and imports it with one certificate, one key
// request per company. The import runs one company per turn of the event loop, so the window
// shows its progress and can be told to stop after the current company.
class ImportarEmpresas final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImportarEmpresas)

public:
    explicit ImportarEmpresas(const Services& services, QWidget* parent = nullptr);
    ~ImportarEmpresas() override;

    void Command2_Click(); // file choice
    void Command3_Click(); // load and inspection
    void Command1_Click(); // the import

    bool importing() const { return m_importing; }
    // The certificate of the last import, kept while the window is open.
    const std::optional<Certificate>& certificado() const { return m_certificado; }

Q_SIGNALS:
    // Before the key request of company `current` (from 1) of `total`.
    void importProgress(int current, int total);
    // The import ended, completed or not.
    void importFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class End { Completed, Stopped, ServerFailed, Expired, DatabaseFailed };

    // The grid, the warning labels and "Impo&rtar" for a read export.
    void showCompanies(const CompanyExport& read);
    // The export at m_path read afresh, the window inert meanwhile; `then` gets it when it could be
    // read, else the load is hidden and the reason shown.
    void readExport(std::function<void(const CompanyExport&)> then);
    // Asks for the certificate and imports the companies of the export read.
    void startImport(const CompanyExport& read);
    void hideLoad();
    // Asks for the key of the next company; its answer stores it and asks for the one after.
    void importNext();
    void storeCompany(const ExportCompany& company, const KeyAnswer& answer);
    void finish(End end);
    void setImporting(bool importing);
    void requestStop();
    QString storedSummary() const;

    const Services& m_services;
    QGroupBox* m_Frame1;
    QLineEdit* m_Text1;
    QPushButton* m_Command2;
    QPushButton* m_Command3;
    QTableWidget* m_MSFlexGrid1;
    QPushButton* m_Command1;
    QLabel* m_Label1;
    QLabel* m_Label2;
    QLabel* m_lblProgresso;
    QPushButton* m_cmdParar;

    QString m_path; // the chosen export
    std::optional<Certificate> m_certificado;

    // The import in progress.
    bool m_importing = false;
    bool m_stopRequested = false;
    bool m_closeWhenDone = false;
    QList<ExportCompany> m_companies;
    qsizetype m_next = 0;
    QList<ExportCompany> m_stored;
    ExportCompany m_failed; // the company whose request failed
};

} // namespace fiscora
