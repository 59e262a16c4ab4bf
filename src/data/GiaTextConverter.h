#pragma once

#include "data/AccessReader.h"
#include "jet/JetDatabase.h"

#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace fiscora {

// Turns the records of a GIA text file (".prf", one record per line) into rows of a GIA
// database: the package's tables as read from the template, to which the rows are added.
// Faults stop the conversion with a Portuguese message naming the line: a line too short for
// the fields taken from it, a field that does not hold a number or a date where one belongs,
// a record without its parent in the same GIA, more records than the limits allow.
class GiaTextConverter final {
public:
    static constexpr int maxGias = 32767;          // the GIA counter is a 16-bit signed number
    static constexpr int maxRecordsPerType = 9999; // per record type, per file ("05" excepted)

    // The package (schema and rows) the records are added to; it must outlive the converter.
    explicit GiaTextConverter(jet::Database* package);

    // Finds the tables and columns the records go to; fails when the package lacks one. Must
    // succeed before any line is added.
    Status prepare();
    // One line without its line end; lineNumber counts from 1.
    Status addLine(QByteArrayView line, qint64 lineNumber);
    // Every line of a text file; stops at the first fault.
    Status addFile(const QString& path);

    // GIAs ("05" records) converted so far.
    int giaCount() const { return m_gia; }

    // Converts the text file `arquivo` into the package database `NovaGia`, which must be a
    // fresh copy of the template, as `package` read it (every table's rows): the package is
    // rewritten with the template's tables and rows plus the rows of the text file. The number
    // of GIAs converted, or why the conversion failed; the package may then be a plain copy of
    // the template.
    static Result<int> LerArquivo(const QString& arquivo, const QString& NovaGia,
                                  const AccessReader::Reading& package);

private:
    enum class Conversion { Text, Amount, Number, Ie, Cnpj, Cnae, Cfop, SubItem, Dipam, Day, Month };
    enum class Source { Field, Gia, CurrentCfop, CurrentState, OccurrenceKey, NewOccurrenceKey };

    struct FieldCut {
        const char16_t* column;
        Source source;
        int position; // 1-based byte position in the line
        int length;
        Conversion conversion;
    };

    struct Target {
        int table = -1;
        struct Field {
            FieldCut cut;
            int column = -1;
            jet::ColumnType type = jet::ColumnType::Text;
            int size = 0;
        };
        std::vector<Field> fields;
        int minLength = 0; // the line must reach the end of the last field taken from it
    };

    // A value cut from a line, before it meets its column's type.
    struct Literal {
        enum Kind { Integer, Amount, Text, Date } kind = Text;
        qint64 number = 0; // Integer: the value; Amount: cents
        QString text;
        QDate date;
    };

    Result<Target> resolve(const char16_t* table, std::initializer_list<FieldCut> fields) const;
    Status addRow(const Target& target, QByteArrayView line, qint64 lineNumber);
    Result<Literal> literal(const Target::Field& field, QByteArrayView line, qint64 lineNumber) const;
    // Nothing when the column cannot take the literal.
    static std::optional<jet::Value> toValue(const Literal& literal, const Target::Field& field);
    QString tableName(const Target& target) const;

    jet::Database* m_package;
    bool m_prepared = false;
    Target m_taxpayer;
    Target m_gias;
    QHash<int, Target> m_details; // by record type (10, 14, ...)
    int m_taxpayerIeColumn = -1;
    QSet<QString> m_knownTaxpayers;

    int m_gia = 0;
    bool m_haveCfop = false;
    bool m_haveState = false;
    bool m_haveOccurrence = false;
    QString m_cfop;
    QString m_state;
    qint64 m_occurrence = 0;
    qint64 m_nextOccurrence = 1;
    std::array<int, 100> m_counts{};
};

} // namespace fiscora
