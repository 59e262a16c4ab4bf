#pragma once

#include <QString>

namespace fiscora {

// Check digits of a CNPJ / CPF; only the digits of the input are looked at.
bool CNPJValida(const QString& cnpj);
bool CPFValida(const QString& cpf);
// State registration by the rule of the unit (two capital letters); unknown codes give true.
bool IEValida(const QString& ie, const QString& uf);

// A document as the windows hold it, with ".", "/" and "-" removed.
QString documentDigits(const QString& document);

} // namespace fiscora
