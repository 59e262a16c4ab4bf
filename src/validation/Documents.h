#pragma once

#include <QString>

namespace fiscora {

// Check digits of a CNPJ / CPF. A CPF is read by its ASCII digits only; a CNPJ by its
// cnpjCharacters, each worth its character code minus 48 ("0" 0 ... "9" 9, "A" 17 ... "Z" 42).
// Positions past the end count as 0; a letter in a check-digit position never matches.
bool CNPJValida(const QString& cnpj);
bool CPFValida(const QString& cpf);
// State registration by the rule of the unit (two capital letters); unknown codes give true.
bool IEValida(const QString& ie, const QString& uf);

// A document (CPF or CNPJ) as the windows hold it, with ".", "/" and "-" removed and ASCII
// letters upper-cased: what is sent as the document and looked for in a certificate.
QString documentDigits(const QString& document);

// A CNPJ has twelve base positions of digits or upper-case letters and two check digits.
// The entry-field mask of every CNPJ field: letters or digits in the base, upper-cased as
// typed, digits in the check positions, "_" where nothing is typed yet.
QString cnpjInputMask();
// The characters of a text that count as CNPJ positions, in order: the ASCII digits and the
// ASCII letters, upper-cased. Everything else (punctuation, blanks, "_") is left out.
QString cnpjCharacters(const QString& text);
// A CNPJ field's text has all fourteen positions typed.
bool cnpjComplete(const QString& text);
// A CPF field's text has at least eleven ASCII digits (what CPFValida reads).
bool cpfComplete(const QString& text);
// A CNPJ as it is stored and sent: ASCII letters upper-cased, everything else as it stands.
QString normalizedCnpj(const QString& text);
// Fourteen characters without punctuation: twelve digits or upper-case letters, two digits.
bool isBareCnpj(const QString& text);

} // namespace fiscora
