#include "core/Session.h"

#include "core/ServerDate.h"

namespace fiscora {

Session::Session(QObject* parent)
    : QObject(parent)
    , m_DataServidor(zeroDateTime()) {}

void Session::selectTaxpayer(const QString& razaoSocial, const QString& ie, const QString& chave) {
    m_RSSel = razaoSocial;
    m_IESel = ie;
    m_lblChave = chave;
    m_listed.clear();
    Q_EMIT taxpayerChanged();
}

void Session::dropTaxpayer() {
    m_RSSel.clear();
    m_IESel.clear();
    m_lblChave.clear();
    m_listed.clear();
    Q_EMIT taxpayerChanged();
}

void Session::setServerList(const QDateTime& serverDate, const QString& anoTrabalho) {
    m_DataServidor = serverDate;
    m_anoTrabalho = anoTrabalho;
}

} // namespace fiscora
