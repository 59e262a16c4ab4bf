#include "transmission/MonthSituation.h"

#include "data/JournalCsv.h"
#include "net/TransmissionHistory.h"

#include <QDate>
#include <QTimer>

#include <algorithm>

namespace fiscora {

namespace {

// The references an upload carried: its GIAs', or those the list gave its protocols.
bool carries(const JournalEntry& row, const QString& reference) {
    for (const JournalGia& gia : row.gias) {
        if (gia.reference.trimmed() == reference)
            return true;
    }
    for (const ListedTransmission& listed : row.protocols) {
        if (listed.reference.trimmed() == reference)
            return true;
    }
    return false;
}

} // namespace

MonthRow monthRow(const Taxpayer& taxpayer, const QString& reference, const Result<TaxpayerList>* list,
                  const QList<JournalEntry>& rows) {
    MonthRow row;
    row.taxpayer = taxpayer;
    if (list && *list && !(*list)->keyRefused) {
        QStringList protocols;
        for (const QStringList& cells : (*list)->rows) {
            if (cells.value(ColReferencia).trimmed() != reference)
                continue;
            protocols.append(cells.value(ColProtocolo).trimmed());
            row.date = cells.value(ColData).trimmed();
        }
        if (!protocols.isEmpty()) {
            row.state = MonthState::Delivered;
            row.protocol = protocols.join(QStringLiteral(", "));
            return row;
        }
    }
    const auto sent = std::find_if(rows.cbegin(), rows.cend(),
                                   [&reference](const JournalEntry& e) { return carries(e, reference); });
    if (sent != rows.cend()) {
        row.date = journalDateText(sent->localTime);
        row.detail = sent->detail;
        switch (sent->outcome) {
        case TransmissionOutcome::Failed:
            row.state = MonthState::Failed;
            break;
        case TransmissionOutcome::Refused:
            row.state = MonthState::Refused;
            break;
        case TransmissionOutcome::Answered:
            // Answered, and a list had since does not show it: the server did not take it.
            row.state =
                list && *list && !(*list)->keyRefused ? MonthState::Refused : MonthState::SentUnconfirmed;
            break;
        case TransmissionOutcome::Sending:
        case TransmissionOutcome::Unknown:
            row.state = MonthState::SentUnconfirmed;
            break;
        }
    }
    if (row.state != MonthState::Pending || !list)
        return row;
    if (!*list) {
        row.state = MonthState::ListUnavailable;
        row.detail = list->error().description;
    } else if ((*list)->keyRefused) {
        row.state = MonthState::KeyRefused;
        row.detail = QStringLiteral("O servidor recusou a chave do contribuinte.");
    }
    return row;
}

QString monthStateText(MonthState state) {
    switch (state) {
    case MonthState::Delivered:
        return QStringLiteral("Entregue");
    case MonthState::SentUnconfirmed:
        return QStringLiteral("Enviada, sem confirmação");
    case MonthState::Refused:
        return QStringLiteral("Recusada");
    case MonthState::Failed:
        return QStringLiteral("Falhou");
    case MonthState::Pending:
        break;
    case MonthState::KeyRefused:
        return QStringLiteral("Chave recusada");
    case MonthState::ListUnavailable:
        return QStringLiteral("Lista indisponível");
    }
    return QStringLiteral("Pendente");
}

QString regimeText(const MonthRow& row) {
    return row.pgdas() ? QStringLiteral("PGDAS") : QStringLiteral("GIA");
}

QString monthTotalsText(const QList<MonthRow>& rows) {
    static const QList<std::pair<MonthState, QString>> plurals = {
        {MonthState::Delivered, QStringLiteral("Entregues")},
        {MonthState::SentUnconfirmed, QStringLiteral("Sem confirmação")},
        {MonthState::Refused, QStringLiteral("Recusadas")},
        {MonthState::Failed, QStringLiteral("Falharam")},
        {MonthState::Pending, QStringLiteral("Pendentes")},
        {MonthState::KeyRefused, QStringLiteral("Chave recusada")},
        {MonthState::ListUnavailable, QStringLiteral("Lista indisponível")},
    };
    QStringList parts;
    for (const auto& [state, name] : plurals) {
        const auto count = std::count_if(rows.cbegin(), rows.cend(),
                                         [state](const MonthRow& row) { return row.state == state; });
        if (count > 0)
            parts.append(QStringLiteral("%1 %2").arg(name).arg(count));
    }
    return parts.join(QStringLiteral(" · "));
}

Status exportMonthCsv(const QList<MonthRow>& rows, const QString& reference, const QString& path) {
    static const QStringList header = {
        QStringLiteral("Referência"), QStringLiteral("IE"),     QStringLiteral("Razão social"),
        QStringLiteral("CNPJ"),       QStringLiteral("Regime"), QStringLiteral("Situação"),
        QStringLiteral("Protocolo"),  QStringLiteral("Data"),   QStringLiteral("Detalhe")};
    QList<QStringList> lines;
    for (const MonthRow& row : rows)
        lines.append({reference, row.taxpayer.IE, textField(row.taxpayer.RazaoSocial), row.taxpayer.Cnpj,
                      regimeText(row), monthStateText(row.state), textField(row.protocol),
                      textField(row.date), textField(row.detail)});
    return writeCsv(path, header, lines);
}

QString previousReference(const QDate& today) {
    return today.addMonths(-1).toString(QStringLiteral("MM/yyyy"));
}

MonthSituation::MonthSituation(const HttpClient& http, TransmissionJournal& journal, QObject* parent)
    : QObject(parent)
    , m_http(http)
    , m_journal(journal) {}

void MonthSituation::show(const QList<Taxpayer>& taxpayers, const QString& reference, int atOnce) {
    m_taxpayers = taxpayers;
    m_reference = reference;
    m_atOnce = std::max(1, atOnce);
    m_journalRows.clear();
    if (const Result<QList<JournalEntry>> rows = m_journal.findTransmissions()) {
        for (const JournalEntry& row : *rows)
            m_journalRows[row.ie].append(row);
    }
    m_waiting.clear();
    for (const Taxpayer& taxpayer : m_taxpayers) {
        if (!m_lists.contains(taxpayer.IE) && !m_asking.contains(taxpayer.IE) &&
            !m_waiting.contains(taxpayer.IE))
            m_waiting.append(taxpayer.IE);
    }
    rebuild();
    askMore();
    if (!asking())
        QTimer::singleShot(0, this, &MonthSituation::finished);
}

void MonthSituation::refresh() {
    delete m_questions;
    m_questions = nullptr;
    m_asking.clear();
    m_lists.clear();
    show(m_taxpayers, m_reference, m_atOnce);
}

void MonthSituation::rebuild() {
    m_rows.clear();
    for (const Taxpayer& taxpayer : m_taxpayers) {
        const auto list = m_lists.constFind(taxpayer.IE);
        m_rows.append(monthRow(taxpayer, m_reference, list == m_lists.constEnd() ? nullptr : &*list,
                               m_journalRows.value(taxpayer.IE)));
    }
}

void MonthSituation::askMore() {
    if (!m_questions)
        m_questions = new QObject(this);
    while (m_asking.size() < m_atOnce && !m_waiting.isEmpty()) {
        const QString ie = m_waiting.takeFirst();
        const auto taxpayer = std::find_if(m_taxpayers.cbegin(), m_taxpayers.cend(),
                                           [&ie](const Taxpayer& t) { return t.IE == ie; });
        m_asking.insert(ie);
        fetchTaxpayerList(m_http, m_journal, ie, taxpayer->Chave, m_questions,
                          [this, ie](const Result<TaxpayerList>& list) {
                              m_asking.remove(ie);
                              m_lists.insert(ie, list);
                              // The list has just confirmed what it could in the journal.
                              if (const Result<QList<JournalEntry>> rows =
                                      m_journal.findTransmissions(JournalFilter{ie, {}, {}, {}, false}))
                                  m_journalRows.insert(ie, *rows);
                              for (qsizetype i = 0; i < m_taxpayers.size(); ++i) {
                                  if (m_taxpayers.at(i).IE != ie)
                                      continue;
                                  m_rows[i] = monthRow(m_taxpayers.at(i), m_reference,
                                                       &*m_lists.constFind(ie), m_journalRows.value(ie));
                                  Q_EMIT rowChanged(int(i));
                              }
                              askMore();
                              if (!asking())
                                  Q_EMIT finished();
                          });
    }
}

} // namespace fiscora
