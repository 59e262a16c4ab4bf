#include "gui/CertificateListModel.h"

#include <QBrush>
#include <QColor>

namespace fiscora {

namespace {

QString dateText(const QDateTime& when) {
    return when.toLocalTime().toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

CertificateListModel::CertificateListModel(const Clock& clock, QObject* parent)
    : QAbstractTableModel(parent)
    , m_clock(clock) {}

void CertificateListModel::setCertificates(const QList<Certificate>& certificates) {
    beginResetModel();
    m_certificates = certificates;
    endResetModel();
}

int CertificateListModel::rowOf(const Certificate& certificate) const {
    return static_cast<int>(m_certificates.indexOf(certificate));
}

int CertificateListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_certificates.size());
}

int CertificateListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool CertificateListModel::expired(const Certificate& certificate) const {
    return certificate.validTo() < m_clock.now().toUTC();
}

QVariant CertificateListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_certificates.size())
        return {};
    const Certificate& certificate = m_certificates.at(index.row());
    const bool isExpired = expired(certificate);
    switch (role) {
    case Qt::DisplayRole:
    case SortRole:
        switch (index.column()) {
        case Titular:
            return certificate.subjectName();
        case Documento:
            return certificate.formattedDocument();
        case EmitidoPor:
            return certificate.issuerName();
        case ValidoDe:
            if (role == SortRole)
                return certificate.validFrom();
            return dateText(certificate.validFrom());
        case ValidoAte:
            if (role == SortRole)
                return certificate.validTo();
            return isExpired ? dateText(certificate.validTo()) + QStringLiteral(" (expirado)")
                             : dateText(certificate.validTo());
        case Local:
            return certificate.tokenLabel().isEmpty()
                       ? QStringLiteral("Importado")
                       : QStringLiteral("Token %1").arg(certificate.tokenLabel());
        default:
            return {};
        }
    case Qt::ForegroundRole:
        if (isExpired)
            return QBrush(QColor(0xa0, 0x10, 0x10));
        return {};
    case Qt::ToolTipRole:
        if (isExpired)
            return QStringLiteral("Certificado expirado em %1").arg(dateText(certificate.validTo()));
        return {};
    case ExpiredRole:
        return isExpired;
    default:
        return {};
    }
}

QVariant CertificateListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Titular:
        return QStringLiteral("Titular");
    case Documento:
        return QStringLiteral("Documento");
    case EmitidoPor:
        return QStringLiteral("Emitido por");
    case ValidoDe:
        return QStringLiteral("Válido de");
    case ValidoAte:
        return QStringLiteral("Válido até");
    case Local:
        return QStringLiteral("Local");
    default:
        return {};
    }
}

} // namespace fiscora
