#pragma once

#include "core/MessageBox.h"

#include <QString>

#include <optional>

namespace fiscora {

// The first thing wrong with a form, as the window shows it: the text, and for a message box
// its title and icon. A question is asked with Yes and No, and the form checked again with
// the answer.
struct FormFailure {
    QString message;
    QString title;
    MessageIcon icon = MessageIcon::None;
    bool question = false;

    bool operator==(const FormFailure&) const = default;
};
using FormCheck = std::optional<FormFailure>;

// The accountant form, as the fields deliver their texts (masked fields with their
// punctuation and "_" in every position not typed).
struct AccountantFields {
    bool cpf = false; // the person type: CPF when physical, CNPJ otherwise
    QString document, crc, name, street, number, complement, district, city, state, phone, postcode, email;
};

// Whether the user agreed to go on without a CRC.
enum class CrcAnswer { NotAsked, Yes, No };

// The accountant form's checks in their order; failures go to the window's error label. An empty
// CRC is a question, asked after the document and e-mail checks.
FormCheck checkAccountant(const AccountantFields& fields, CrcAnswer crc = CrcAnswer::NotAsked);
// The message of a document that fails its check digits, for the person type.
QString accountantDocumentError(bool cpf);

// The taxpayer creation and edit forms.
struct TaxpayerFields {
    QString ie, name, cnpj, cnae, key;
    QString fieldError; // what the red error label shows after leaving the IE or CNPJ field
};

// The field checks (IE, name, CNPJ, CNAE), before a key request or a save.
FormCheck checkTaxpayerFields(const TaxpayerFields& fields);
// The field checks, then the key and the error label: the checks of a save.
FormCheck checkTaxpayerSave(const TaxpayerFields& fields);

} // namespace fiscora
