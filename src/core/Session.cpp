#include "core/Session.h"

#include "core/ServerDate.h"

namespace fiscora {

Session::Session(QObject* parent)
    : QObject(parent)
    , m_DataServidor(zeroDateTime()) {}

void Session::selectTaxpayer(const QString& companyName, const QString& ie, const QString& chave) {
    m_RSSel = companyName;
    m_IESel = ie;
    m_accessKey = chave;
    m_listed.clear();
    Q_EMIT taxpayerChanged();
}

void Session::dropTaxpayer() {
    m_RSSel.clear();
    m_IESel.clear();
    m_accessKey.clear();
    m_listed.clear();
    Q_EMIT taxpayerChanged();
}

void Session::setServerList(const QDateTime& serverDate, const QString& anoTrabalho) {
    m_DataServidor = serverDate;
    m_anoTrabalho = anoTrabalho;
}

} // namespace fiscora
