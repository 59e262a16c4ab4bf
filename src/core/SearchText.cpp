#include "core/SearchText.h"

#include <algorithm>

namespace fiscora {

namespace {

// Lower case without accents: "Ribeirão" and "ribeirao" are the same word to a search.
QString folded(const QString& text) {
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            out.append(c.toCaseFolded());
    return out;
}

QString digitsOf(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (c.isDigit())
            out.append(c);
    return out;
}

} // namespace

bool matchesSearch(const QString& query, const QStringList& fields) {
    QStringList foldedFields;
    QStringList digitFields;
    for (const QString& field : fields) {
        foldedFields.append(folded(field));
        digitFields.append(digitsOf(field));
    }
    const QStringList words = folded(query).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::all_of(words.begin(), words.end(), [&](const QString& word) {
        if (std::any_of(foldedFields.begin(), foldedFields.end(),
                        [&](const QString& field) { return field.contains(word); }))
            return true;
        const bool numeric = std::none_of(word.begin(), word.end(), [](QChar c) { return c.isLetter(); });
        const QString digits = digitsOf(word);
        return numeric && !digits.isEmpty() &&
               std::any_of(digitFields.begin(), digitFields.end(),
                           [&](const QString& field) { return field.contains(digits); });
    });
}

} // namespace fiscora
