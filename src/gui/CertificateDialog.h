#pragma once

#include "certificates/Certificate.h"
#include "core/Seams.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace fiscora {

class CertificateListModel;
class CertificateSource;

// The chooser: the certificates of a source in a table with a search field; OK only with a row
// selected (a search that leaves one row selects it; Down goes from the field to the list);
// Cancelar, Esc or closing cancel. "Importar…" adds a certificate from a file when the
// source takes imports; "Remover" takes the selected one out, after a question, when the source
// allows it.
class CertificateDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CertificateDialog)

public:
    CertificateDialog(const CertificateSource& source, const Seams& seams, QWidget* parent = nullptr);
    ~CertificateDialog() override;

    void setText(const QString& text);
    // Selects the certificate with this fingerprint when it is listed.
    void preselect(const QString& fingerprint);
    // The certificate of the selected row; null without a selection.
    Certificate selectedCertificate() const;
    // Lists the source again, keeping the given certificate selected when it is listed. What the
    // source has not read yet (the tokens) is added when it has been read.
    void reload(const Certificate& select = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void importFromFile();
    void removeSelected();
    void updateButtons();
    void selectCertificate(const Certificate& certificate);
    void tokensRead();

    const CertificateSource& m_source;
    const Seams m_seams;
    CertificateListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QLabel* m_text = nullptr;
    QLineEdit* m_search = nullptr;
    QTableView* m_grid = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_refresh = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QString m_preferred;   // fingerprint given to preselect()
    Certificate m_awaited; // to be selected once the reading has come, if listed then
    bool m_reading = false;
};

} // namespace fiscora
