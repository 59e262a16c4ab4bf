#pragma once

#include "core/Cp1252.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace fiscora::test {

// Lines of a GIA text file, each record at its full width (the fields the conversion ignores
// filled too), texts in Windows-1252.
class GiaTextBuilder final {
public:
    // A text field: cut or padded with blanks to its length.
    static QByteArray text(const QString& value, int length) {
        QByteArray bytes = Cp1252::encode(value).left(length);
        return bytes + QByteArray(length - bytes.size(), ' ');
    }
    // A field given as bytes: cut or padded with blanks to its length.
    static QByteArray fit(const QByteArray& value, int length) {
        return value.leftJustified(length, ' ', true);
    }
    static QByteArray digits(qint64 value, int length) {
        return QByteArray::number(value).rightJustified(length, '0', true);
    }
    static QByteArray amount(qint64 cents) { return digits(cents, 15); }
    static QByteArray amounts(const QList<qint64>& cents) {
        QByteArray bytes;
        for (int i = 0; i < 9; ++i)
            bytes += amount(cents.value(i));
        return bytes;
    }

    static QByteArray header01() {
        return "01" + digits(1, 2) + "20240101" + "120000" + "0001" + "0001" + "0001";
    }
    static QByteArray other07() { return "07" + QByteArray("1") + amount(0) + "20240101"; }

    static QByteArray gia05(const QByteArray& ie, const QByteArray& month, const QByteArray& regTrib = "02",
                            const QByteArray& tipo = "01", const QByteArray& movimento = "1",
                            const QByteArray& cnpj = "12345678000195", const QByteArray& cnae = "4711302") {
        return "05" + fit(ie, 12) + fit(cnpj, 14) + fit(cnae, 7) + fit(regTrib, 2) + fit(month, 6) +
               "000000" + fit(tipo, 2) + fit(movimento, 1) + "0" + amount(0) + amount(0) +
               QByteArray(14, '0') + "0" + amount(0) + QByteArray(32, ' ') + "0000" + "0000" + "0000" +
               "0000" + "0000";
    }
    static QByteArray cfop10(const QByteArray& cfop, const QList<qint64>& cents = {}) {
        return "10" + fit(cfop, 6) + amounts(cents) + "0000";
    }
    static QByteArray interUf14(const QByteArray& uf, const QList<qint64>& cents = {}) {
        return "14" + fit(uf, 2) + amounts(cents) + "0" + "00";
    }
    static QByteArray zfm18(const QByteArray& nf, const QByteArray& day, qint64 cents,
                            const QByteArray& cnpj = "98765432000198",
                            const QByteArray& municipio = "12345") {
        return "18" + fit(nf, 9) + fit(day, 8) + amount(cents) + fit(cnpj, 14) + fit(municipio, 5);
    }
    static QByteArray occurrence20(const QByteArray& subItem, qint64 cents, const QString& legal,
                                   const QString& description, const QByteArray& own = "1") {
        return "20" + fit(subItem, 5) + amount(cents) + fit(own, 1) + text(legal, 100) +
               text(description, 300) + "0000" + "0000" + "0000" + "0000";
    }
    static QByteArray sender25(const QByteArray& ie, qint64 cents) {
        return "25" + fit(ie, 12) + amount(cents);
    }
    static QByteArray substitute26(const QByteArray& ie, const QByteArray& nf, const QByteArray& from,
                                   const QByteArray& to, qint64 cents) {
        return "26" + fit(ie, 12) + fit(nf, 9) + fit(from, 6) + fit(to, 6) + amount(cents);
    }
    static QByteArray substituted27(const QByteArray& ie, const QByteArray& nf, qint64 cents) {
        return "27" + fit(ie, 12) + fit(nf, 9) + amount(cents);
    }
    static QByteArray receipt28(const QByteArray& code, qint64 cents) {
        return "28" + fit(code, 12) + amount(cents);
    }
    static QByteArray dipam30(const QByteArray& code, const QByteArray& municipio, qint64 cents) {
        return "30" + fit(code, 2) + fit(municipio, 5) + amount(cents);
    }
    static QByteArray export31(const QByteArray& re) { return "31" + fit(re, 15); }

    static QByteArray file(const QList<QByteArray>& lines, const QByteArray& end = "\r\n") {
        QByteArray bytes;
        for (const QByteArray& line : lines)
            bytes += line + end;
        return bytes;
    }
};

} // namespace fiscora::test
