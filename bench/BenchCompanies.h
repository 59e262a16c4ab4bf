#pragma once

// Taxpayers for the benchmarks that register many (the batch, the month view).

#include "validation/Documents.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace fiscora::bench {

struct Company {
    QString ie; // "###.###.###.###"
    QString cnpj;
    QString key;
    QString name;
};

inline QString digitsWithMask(const QString& digits, const QString& mask) {
    QString out;
    qsizetype at = 0;
    for (const QChar c : mask)
        out.append(c == u'#' ? digits.at(at++) : c);
    return out;
}

// Valid São Paulo registrations and CNPJs, found by trying the check digits.
inline QList<Company> makeCompanies(int count) {
    QList<Company> companies;
    QRandomGenerator random(20261209);
    while (companies.size() < count) {
        QString ie;
        for (int i = 0; i < 12; ++i)
            ie.append(QChar(u'0' + random.bounded(10)));
        const QString ieText = digitsWithMask(ie, QStringLiteral("###.###.###.###"));
        if (!IEValida(ieText, QStringLiteral("SP")))
            continue;
        QString cnpj;
        for (int i = 0; i < 14; ++i)
            cnpj.append(QChar(u'0' + random.bounded(10)));
        const QString cnpjText = digitsWithMask(cnpj, QStringLiteral("##.###.###/####-##"));
        if (!CNPJValida(cnpjText))
            continue;
        const int n = int(companies.size()) + 1;
        companies.append({ieText, cnpjText, QStringLiteral("K%1").arg(n, 7, 10, QLatin1Char('0')),
                          QStringLiteral("Empresa %1 Ltda").arg(n, 3, 10, QLatin1Char('0'))});
    }
    return companies;
}

} // namespace fiscora::bench
