#pragma once

#include "transmission/Batch.h"

#include <QTemporaryDir>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace fiscora {

struct Services;

class BusyWindow;
class Session;

// "Transmissão em lote": one NovaGIA export (or a folder of GIA text files) holds the GIAs of
// many of the office's companies; the window lists each registered one's GIAs as its server's
// list allows them, asks for the accountant's certificate once and sends one upload per company,
// one after another, with progress per company and overall and a summary. A folder of PGDAS
// documents is listed the same way, one upload per document, with those that match no single
// Simples Nacional taxpayer apart. The work is the batch's (transmission/Batch); the window only
// shows it.
class frmLote final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmLote)

public:
    frmLote(Session& session, const Services& services, QWidget* parent = nullptr);
    ~frmLote() override;

    // Reads the export or folder and asks the server about each company; the window is inert
    // until the list is shown.
    void openSource(const QString& path);
    // The same for a folder of PGDAS documents: each matched to its taxpayer, or set apart.
    void openPgdasFolder(const QString& folder);
    bool preparing() const { return m_busy != nullptr; }
    void send();
    void sendFailedAgain();

    // Only these taxpayers' GIAs (by IE) start ticked in the next source read; empty: all.
    void preselect(const QStringList& ies) { m_preselected = ies; }

    const QList<BatchItem>& items() const { return m_source.items; }
    const QList<PgdasMatch>& setApart() const { return m_source.setApart; }
    bool sending() const { return m_run && m_run->running(); }

Q_SIGNALS:
    // An upload of the current taxpayer ended: its transmissions are worth listing again.
    void transmissionsChanged();
    // The accountant window opened from here gives the main window back.
    void mainWindowReleased();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillTree();
    void showItem(int index);
    void showSummary();
    void ticked(QTreeWidgetItem* item, int column);
    void start(const QList<int>& which);
    void setSending(bool sending);
    void runFinished();
    void prepared();
    // The window inert while a source is read; false when one is read or sent already.
    bool beginReading(const QString& path);
    // Then the server is asked about each item.
    void sourceRead(const Result<BatchSource>& source);

    Session& m_session;
    const Services& m_services;
    QLineEdit* m_txtOrigem;
    QPushButton* m_cmdArquivo;
    QPushButton* m_cmdPasta;
    QPushButton* m_cmdPgdas;
    QTreeWidget* m_GridLote;
    QLabel* m_lblNaoCadastradas;
    QListWidget* m_lstNaoCadastradas;
    QPushButton* m_cmdImportar;
    QLabel* m_lblSeparados;
    QListWidget* m_lstSeparados;
    QLabel* m_lblEmpresa;
    QProgressBar* m_ProgressEmpresa;
    QLabel* m_lblGeral;
    QProgressBar* m_ProgressGeral;
    QLabel* m_lblResumo;
    QPushButton* m_cmdEnviar;
    QPushButton* m_cmdParar;
    QPushButton* m_cmdReenviar;
    QPushButton* m_cmdFechar;

    std::unique_ptr<QTemporaryDir> m_work; // the packages made from text files
    BatchSource m_source;
    QStringList m_preselected;
    BatchRun* m_run;
    BatchPreparation* m_preparation;
    std::shared_ptr<BusyWindow> m_busy; // while the source is read and the lists asked for
    QList<int> m_sending;
    int m_done = 0;
    bool m_closeWhenDone = false;
};

} // namespace fiscora
