#include "data/GiaDatabaseReader.h"

#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/NovaGiaLayout.h"
#include "jet/HeaderPage.h"

#include <QFile>

#include <algorithm>

namespace fiscora {

const QString GiaDatabaseReader::invalidFileMessage =
    QStringLiteral("Erro: Arquivo inválido, você deve selecionar um arquivo exportado do programa NovaGia "
                   "(Extensão .MDB)");
const QString GiaDatabaseReader::noGiaMessage =
    QStringLiteral("Erro: Arquivo não contém GIA da empresa selecionada");
const QString GiaDatabaseReader::readerUnavailableMessage =
    QStringLiteral("Erro: o leitor de arquivos Access (fiscora-leitor-mdb) não foi encontrado na pasta do "
                   "programa. Reinstale o Fiscora.");

namespace {

const QString kGia = QStringLiteral("tblGIA");
const QString kContribuinte = QStringLiteral("tblContribuinte");

GiaDatabaseReader::Outcome outcomeOf(AccessReader::Status status) {
    return status == AccessReader::Status::Unavailable ? GiaDatabaseReader::Outcome::ReaderUnavailable
                                                       : GiaDatabaseReader::Outcome::InvalidFile;
}

// The rows of one table of an export as the Access reader read them: the reader first, then the
// export check, then the table must be there. On failure fills outcome (only when the reader
// failed) and detail, and gives null.
const AccessTable* tableOf(const QString& path, const QString& name, const AccessReader::Reading& read,
                           GiaDatabaseReader::Outcome& outcome, QString& detail) {
    if (!read.ok()) {
        outcome = outcomeOf(read.status);
        detail = read.detail;
        return nullptr;
    }
    if (const Status opened = GiaDatabaseReader::checkExport(path); !opened) {
        detail = opened.error().description;
        return nullptr;
    }
    const AccessTable* table = read.database.table(name);
    if (!table || !table->rowsRead) {
        detail = QStringLiteral("o arquivo não tem a tabela %1").arg(name);
        return nullptr;
    }
    return table;
}

// The rows of tblGIA, all of them or those of one IE.
GiaDatabaseReader::Records collectGias(const QString& path, const AccessReader::Reading& read,
                                       const QString* ie) {
    using Outcome = GiaDatabaseReader::Outcome;
    GiaDatabaseReader::Records result;
    const AccessTable* table = tableOf(path, kGia, read, result.outcome, result.detail);
    if (!table)
        return result;
    const QStringList names{QStringLiteral("NroGIA"),  QStringLiteral("IE"),   QStringLiteral("Tipo"),
                            QStringLiteral("RegTrib"), QStringLiteral("Ref1"), QStringLiteral("Movimento")};
    QList<int> at;
    for (const QString& name : names) {
        at.append(table->column(name));
        // Movimento is not listed: an export without it still lists.
        if (at.last() < 0 && name != QLatin1String("Movimento")) {
            result.detail = QStringLiteral("tblGIA sem a coluna %1").arg(name);
            return result;
        }
    }
    const auto cell = [](const jet::Row& row, int column) {
        return column >= 0 && column < row.size() ? row.at(column) : jet::Value();
    };
    const auto wanted = [&](const jet::Value& value) {
        if (!ie)
            return true;
        if (const auto* text = std::get_if<QString>(&value))
            return *text == *ie;
        return AccessValue::toText(value) == *ie;
    };
    for (const jet::Row& row : table->rows) {
        if (!wanted(cell(row, at[1])))
            continue;
        result.rows.append(GiaRecord{cell(row, at[0]), cell(row, at[1]), cell(row, at[2]), cell(row, at[3]),
                                     cell(row, at[4]), cell(row, at[5])});
    }
    result.outcome = Outcome::Ok;
    return result;
}

GiaDatabaseReader::Listing listingOf(GiaDatabaseReader::Records records) {
    using Outcome = GiaDatabaseReader::Outcome;
    GiaDatabaseReader::Listing result;
    result.detail = records.detail;
    if (records.outcome != Outcome::Ok) {
        result.outcome = records.outcome;
        return result;
    }
    QList<GiaRecord>& chosen = records.rows;
    // Equal months keep the file's order.
    std::stable_sort(chosen.begin(), chosen.end(), [](const GiaRecord& a, const GiaRecord& b) {
        return AccessValue::lessThan(a.reference, b.reference);
    });
    if (chosen.isEmpty()) {
        result.outcome = Outcome::NoGia;
        return result;
    }
    result.rows.reserve(chosen.size());
    for (const GiaRecord& record : chosen)
        result.rows.append(GiaDatabaseReader::listRow(record));
    result.outcome = Outcome::Ok;
    return result;
}

GiaDatabaseReader::Taxpayers taxpayersOf(const QString& path, const AccessReader::Reading& read) {
    GiaDatabaseReader::Taxpayers result;
    const AccessTable* table = tableOf(path, kContribuinte, read, result.outcome, result.detail);
    if (!table)
        return result;
    if (table->definition.columns.size() < 4) {
        result.detail = QStringLiteral("tblContribuinte tem menos de quatro colunas");
        return result;
    }
    result.rows.reserve(table->rows.size());
    for (const jet::Row& row : table->rows) {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts.append(AccessValue::toText(row.value(i)));
        result.rows.append(texts);
    }
    result.outcome = GiaDatabaseReader::Outcome::Ok;
    return result;
}

} // namespace

Status GiaDatabaseReader::checkExport(const QString& path) {
    const auto invalid = [] {
        return AppError{0, QStringLiteral("GiaDatabaseReader"), invalidFileMessage};
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return invalid();
    // The driver refuses a database whose password is not the one it is given; one without a
    // password opens with any.
    const std::optional<QString> password = jet::HeaderPage::password(file.read(4096));
    if (!password || (!password->isEmpty() && *password != NovaGiaLayout::password))
        return invalid();
    return {};
}

void GiaDatabaseReader::listGias(const AccessReader& reader, const QString& path, const QString& ie,
                                 QObject* context, std::function<void(Listing)> done) {
    reader.read(path, {kGia}, context, [path, ie, done](const AccessReader::Reading& read) {
        done(listingOf(collectGias(path, read, &ie)));
    });
}

void GiaDatabaseReader::readTaxpayers(const AccessReader& reader, const QString& path, QObject* context,
                                      std::function<void(Taxpayers)> done) {
    reader.read(path, {kContribuinte}, context,
                [path, done](const AccessReader::Reading& read) { done(taxpayersOf(path, read)); });
}

void GiaDatabaseReader::readExport(const AccessReader& reader, const QString& path, QObject* context,
                                   std::function<void(Records, Taxpayers)> done) {
    reader.read(path, {kGia, kContribuinte}, context, [path, done](const AccessReader::Reading& read) {
        done(collectGias(path, read, nullptr), taxpayersOf(path, read));
    });
}

GiaListRow GiaDatabaseReader::listRow(const GiaRecord& record) {
    return GiaListRow{AccessValue::toText(record.number), referenceText(record.reference),
                      regimeText(record.regime), typeText(record.type)};
}

QString GiaDatabaseReader::referenceText(const jet::Value& ref1) {
    // The date as dd/mm/yyyy with every "20/" taken out: the 20th of a month shows as mm/yyyy.
    QString text = AccessValue::toText(ref1);
    if (const QDate date = AccessValue::toDate(ref1); date.isValid())
        text = date.toString(QStringLiteral("dd/MM/yyyy"));
    return text.remove(QStringLiteral("20/"));
}

QString GiaDatabaseReader::regimeText(const jet::Value& regTrib) {
    const QString code = AccessValue::toText(regTrib);
    if (code == QLatin1String("01"))
        return QStringLiteral("RPA");
    if (code == QLatin1String("02"))
        return QStringLiteral("RES");
    if (code == QLatin1String("03"))
        return QStringLiteral("Dispensado");
    if (code == QLatin1String("04"))
        return QStringLiteral("Simples-ST");
    // Any other code is shown as it is stored, so the accountant sees what the file holds.
    return code;
}

QString GiaDatabaseReader::typeText(const jet::Value& tipo) {
    const std::optional<qint64> number = AccessValue::toInteger(tipo);
    if (number == 1)
        return QStringLiteral("Normal");
    if (number == 2)
        return QStringLiteral("Substitutiva");
    // Any other type is shown as it is stored.
    return AccessValue::toText(tipo);
}

QString GiaDatabaseReader::message(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return QString();
    case Outcome::InvalidFile:
        return invalidFileMessage;
    case Outcome::NoGia:
        return noGiaMessage;
    case Outcome::ReaderUnavailable:
        return readerUnavailableMessage;
    }
    return invalidFileMessage;
}

} // namespace fiscora
