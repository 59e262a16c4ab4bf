#include "validation/Documents.h"

#include <initializer_list>

namespace fiscora {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

QChar asciiUpper(QChar c) {
    return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? QChar(c.unicode() - (u'a' - u'A')) : c;
}

// The ASCII digits of a text, in order, or its CNPJ positions (code minus 48); a position past
// the end reads as 0.
class Digits {
public:
    explicit Digits(const QString& text) {
        for (const QChar c : text) {
            if (isAsciiDigit(c))
                m_digits.append(static_cast<char>(c.unicode() - u'0'));
        }
    }

    static Digits cnpj(const QString& text) {
        Digits d;
        for (const QChar c : cnpjCharacters(text))
            d.m_digits.append(static_cast<char>(c.unicode() - u'0'));
        return d;
    }

    int count() const { return static_cast<int>(m_digits.size()); }
    // k counted from 1
    int d(int k) const { return k >= 1 && k <= m_digits.size() ? m_digits.at(k - 1) : 0; }

    // Sum of d(first + i) * weights[i].
    int sum(int first, std::initializer_list<int> weights) const {
        int total = 0;
        int k = first;
        for (const int w : weights)
            total += d(k++) * w;
        return total;
    }

    // The number formed by d1..d8.
    int leadingNumber() const {
        int n = 0;
        for (int k = 1; k <= 8; ++k)
            n = n * 10 + d(k);
        return n;
    }

    // Keeps count digits from position first (counted from 1), fewer when the string ends.
    void cut(int first, int count) { m_digits = m_digits.mid(first - 1, count); }

private:
    Digits() = default;

    QByteArray m_digits;
};

int mod11Digit(int sum) {
    const int digit = 11 - sum % 11;
    return digit >= 10 ? 0 : digit;
}

int remainderDigit(int sum) {
    const int digit = sum % 11;
    return digit == 10 ? 0 : digit;
}

// The common single-digit rule: d1..d8 with 9..2, mod-11, against d9.
bool nineDigitRule(const Digits& d) {
    return mod11Digit(d.sum(1, {9, 8, 7, 6, 5, 4, 3, 2})) == d.d(9);
}

bool ruleSP(const QString& ie, const Digits& d) {
    const bool first = remainderDigit(d.sum(1, {1, 3, 4, 5, 6, 7, 8, 10})) == d.d(9);
    // A producer registration ("P..." as typed) carries one check digit only.
    if (ie.startsWith(QLatin1Char('P')) || !first)
        return first;
    return remainderDigit(d.sum(1, {3, 2, 10, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(12);
}

bool ruleAC(const Digits& d) {
    if (mod11Digit(d.sum(1, {4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) != d.d(12))
        return false;
    return mod11Digit(d.sum(1, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(13);
}

bool ruleAL(const Digits& d) {
    int digit = (10 * d.sum(1, {9, 8, 7, 6, 5, 4, 3, 2})) % 11;
    if (digit == 10)
        digit = 0;
    return digit == d.d(9);
}

bool ruleAP(const Digits& d) {
    if (d.d(1) != 0 || d.d(2) != 3)
        return true; // nothing is computed outside the "03" numbers
    const int n = d.leadingNumber();
    int p = 0;
    int whenEleven = 0;
    if (n >= 3000001 && n <= 3017000) {
        p = 5;
    } else if (n >= 3017001 && n <= 3019022) {
        p = 9;
        whenEleven = 1;
    }
    int digit = 11 - (d.sum(1, {9, 8, 7, 6, 5, 4, 3, 2}) + p) % 11;
    if (digit == 10)
        digit = 0;
    else if (digit == 11)
        digit = whenEleven;
    return digit == d.d(9);
}

bool ruleAM(const Digits& d) {
    const int sum = d.sum(1, {9, 8, 7, 6, 5, 4, 3, 2});
    const int digit = sum < 11 ? 11 - sum : mod11Digit(sum);
    return digit == d.d(9);
}

bool ruleBA(const Digits& d) {
    const int eighth = d.d(8);
    const int m = (eighth <= 5 || eighth == 8) ? 10 : 11;
    const int s1 = d.sum(1, {7, 6, 5, 4, 3, 2});
    const int first = m == 10 ? (s1 % 10 == 0 ? 0 : 10 - s1 % 10) : mod11Digit(s1);
    if (first != d.d(8))
        return false;
    const int s2 = d.sum(1, {8, 7, 6, 5, 4, 3}) + 2 * first;
    return m - s2 % m == d.d(7);
}

bool ruleGO(const Digits& d) {
    const int r = d.sum(1, {9, 8, 7, 6, 5, 4, 3, 2}) % 11;
    if (r == 0)
        return true;
    if (r == 1) {
        const int n = d.leadingNumber();
        return (n >= 10103105 && n <= 10119997) || n == 11094402;
    }
    return 11 - r == d.d(9);
}

bool ruleMT(const Digits& d) {
    return mod11Digit(d.sum(1, {3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(11);
}

bool ruleMG(const Digits& d) {
    // d1 d2 d3 0 d4 .. d11, times 1, 2, 1, 2, ...; the figures of the products are summed.
    const int figures[12] = {d.d(1), d.d(2), d.d(3), 0,      d.d(4),  d.d(5),
                             d.d(6), d.d(7), d.d(8), d.d(9), d.d(10), d.d(11)};
    int t = 0;
    for (int i = 0; i < 12; ++i) {
        const int product = figures[i] * (i % 2 == 0 ? 1 : 2);
        t += product / 10 + product % 10;
    }
    const int u = (t / 10 + 1) * 10; // the next multiple of 10 above t
    int first = u - t;
    if (first == 10)
        first = 0;
    if (first != d.d(12))
        return false;
    return mod11Digit(d.sum(1, {3, 2, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(13);
}

bool rulePR(const Digits& d) {
    if (mod11Digit(d.sum(1, {3, 2, 7, 6, 5, 4, 3, 2})) != d.d(9))
        return false;
    return mod11Digit(d.sum(1, {4, 3, 2, 7, 6, 5, 4, 3, 2})) == d.d(10);
}

bool rulePE(const Digits& d) {
    if (d.count() >= 13)
        return mod11Digit(d.sum(1, {5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(14);
    if (mod11Digit(d.sum(1, {8, 7, 6, 5, 4, 3, 2})) != d.d(8))
        return false;
    return nineDigitRule(d);
}

bool ruleRJ(const Digits& d) {
    return mod11Digit(d.sum(1, {2, 7, 6, 5, 4, 3, 2})) == d.d(8);
}

bool ruleRN(const Digits& d) {
    if (d.count() == 10)
        return mod11Digit(d.sum(1, {10, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(10);
    return nineDigitRule(d);
}

bool ruleRS(const Digits& d) {
    return mod11Digit(d.sum(1, {2, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(10);
}

bool ruleRO(const QString& ie, Digits d) {
    // Long numbers are re-cut by the length of the text as typed, punctuation included.
    const int start = static_cast<int>(ie.size()) - 7;
    if (d.count() > 6 && start >= 1)
        d.cut(start, 6);
    return mod11Digit(d.sum(1, {6, 5, 4, 3, 2})) == d.d(6);
}

bool ruleRR(const Digits& d) {
    return d.sum(1, {1, 2, 3, 4, 5, 6, 7, 8}) % 9 == d.d(9);
}

bool ruleTO(const Digits& d) {
    const int sum = d.d(1) * 9 + d.d(2) * 8 + d.sum(5, {7, 6, 5, 4, 3, 2});
    return mod11Digit(sum) == d.d(11);
}

} // namespace

bool CNPJValida(const QString& cnpj) {
    const Digits d = Digits::cnpj(cnpj);
    if (mod11Digit(d.sum(1, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) != d.d(13))
        return false;
    return mod11Digit(d.sum(1, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(14);
}

bool CPFValida(const QString& cpf) {
    const Digits d(cpf);
    if (mod11Digit(d.sum(1, {10, 9, 8, 7, 6, 5, 4, 3, 2})) != d.d(10))
        return false;
    return mod11Digit(d.sum(1, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2})) == d.d(11);
}

bool IEValida(const QString& ie, const QString& uf) {
    const Digits d(ie);
    const auto is = [&uf](const char* code) {
        return uf == QLatin1String(code);
    };
    if (is("AC") || is("DF"))
        return ruleAC(d);
    if (is("AL"))
        return ruleAL(d);
    if (is("AP"))
        return ruleAP(d);
    if (is("AM"))
        return ruleAM(d);
    if (is("BA"))
        return ruleBA(d);
    if (is("CE") || is("ES") || is("MA") || is("MS") || is("PA") || is("PB") || is("PI") || is("SC") ||
        is("SE"))
        return nineDigitRule(d);
    if (is("GO"))
        return ruleGO(d);
    if (is("MT"))
        return ruleMT(d);
    if (is("MG"))
        return ruleMG(d);
    if (is("PR"))
        return rulePR(d);
    if (is("PE"))
        return rulePE(d);
    if (is("RJ"))
        return ruleRJ(d);
    if (is("RN"))
        return ruleRN(d);
    if (is("RS"))
        return ruleRS(d);
    if (is("RO"))
        return ruleRO(ie, d);
    if (is("RR"))
        return ruleRR(d);
    if (is("SP"))
        return ruleSP(ie, d);
    if (is("TO"))
        return ruleTO(d);
    return true; // a code outside the table, lower case included
}

QString documentDigits(const QString& document) {
    QString digits = normalizedCnpj(document);
    digits.remove(QLatin1Char('.')).remove(QLatin1Char('/')).remove(QLatin1Char('-'));
    return digits;
}

QString cnpjInputMask() {
    // Qt: ">" upper-cases the letters that follow, "N" a letter or digit, "9" a digit.
    return QStringLiteral(">NN.NNN.NNN/NNNN-99;_");
}

QString cnpjCharacters(const QString& text) {
    QString characters;
    for (const QChar c : text) {
        if (isAsciiDigit(c) || isAsciiLetter(c))
            characters.append(asciiUpper(c));
    }
    return characters;
}

bool cnpjComplete(const QString& text) {
    // Qt's mask lets any letter in: one outside A-Z leaves a position short.
    return cnpjCharacters(text).size() == 14;
}

bool cpfComplete(const QString& text) {
    return Digits(text).count() >= 11;
}

QString normalizedCnpj(const QString& text) {
    QString normalized = text;
    for (QChar& c : normalized)
        c = asciiUpper(c);
    return normalized;
}

bool isBareCnpj(const QString& text) {
    if (text.size() != 14)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool letter = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
        if (!isAsciiDigit(c) && (i >= 12 || !letter))
            return false;
    }
    return true;
}

} // namespace fiscora
