#pragma once

#include "certificates/Certificate.h"
#include "core/Clock.h"

#include <QAbstractTableModel>
#include <QList>

namespace fiscora {

// The chooser's table: Titular, Documento, Emitido por, Válido de, Válido até, Local (imported, or
// the token's label). Rows whose validity has ended (by the program's clock) are marked.
class CertificateListModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CertificateListModel)

public:
    enum Column { Titular, Documento, EmitidoPor, ValidoDe, ValidoAte, Local, ColumnCount };
    static constexpr int SortRole = Qt::UserRole; // dates as QDateTime, texts as they show
    static constexpr int ExpiredRole = Qt::UserRole + 1;

    explicit CertificateListModel(const Clock& clock, QObject* parent = nullptr);

    void setCertificates(const QList<Certificate>& certificates);
    const Certificate& certificate(int row) const { return m_certificates.at(row); }
    int rowOf(const Certificate& certificate) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool expired(const Certificate& certificate) const;

    const Clock& m_clock;
    QList<Certificate> m_certificates;
};

} // namespace fiscora
