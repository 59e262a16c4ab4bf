#include "validation/FormRules.h"

#include "core/AppTexts.h"
#include "validation/Documents.h"

#include <QStringList>

namespace fiscora {

namespace {

const QStringList kStates =
    QStringLiteral("AC,AL,AM,AP,BA,CE,DF,ES,GO,MA,MG,MS,MT,PA,PB,PE,PI,PR,RJ,RN,RO,RR,RS,"
                   "SC,SE,SP,TO")
        .split(QLatin1Char(','));

// The length of a text as the server receives it: every apostrophe doubled.
qsizetype sentLength(const QString& text) {
    return text.size() + text.count(QLatin1Char('\''));
}

// A masked field is complete when it has no blank left.
bool complete(const QString& text, int length) {
    return QString(text).remove(QLatin1Char('_')).size() == length;
}

FormCheck label(const QString& message) {
    return FormFailure{message, {}, MessageIcon::None, false};
}

FormCheck box(const QString& message) {
    return FormFailure{message, AppTexts::productTitle, MessageIcon::Critical, false};
}

} // namespace

QString accountantDocumentError(bool cpf) {
    return cpf ? QStringLiteral("Documento CPF Informado incorretamente")
               : QStringLiteral("Documento CNPJ Informado incorretamente");
}

FormCheck checkAccountant(const AccountantFields& f, CrcAnswer crc) {
    if (f.cpf ? !CPFValida(f.document) || !cpfComplete(f.document)
              : !CNPJValida(f.document) || !cnpjComplete(f.document))
        return label(accountantDocumentError(f.cpf));
    if (sentLength(f.email) <= 5)
        return label(QStringLiteral("Favor digitar um e-mail"));
    if (f.crc.trimmed().isEmpty()) {
        if (crc == CrcAnswer::NotAsked)
            return FormFailure{QStringLiteral("Deseja prosseguir sem o CRC?"), AppTexts::productTitle,
                               MessageIcon::None, true};
        if (crc == CrcAnswer::No)
            return label(QStringLiteral(
                "Você optou por não prosseguir sem o CRC, favor digitar e clicar em OK novamente"));
    }
    if (sentLength(f.name) < 5)
        return label(QStringLiteral("Favor digitar a Razão Social corretamente"));
    if (f.street.isEmpty())
        return label(QStringLiteral("Favor digitar o Endereço corretamente"));
    if (f.number.isEmpty())
        return label(QStringLiteral("Favor digitar o Número corretamente"));
    if (!complete(f.postcode, 9))
        return label(QStringLiteral("Favor digitar o CEP corretamente"));
    if (f.district.trimmed().isEmpty())
        return label(QStringLiteral("Favor digitar o Bairro corretamente"));
    if (f.city.trimmed().isEmpty())
        return label(QStringLiteral("Favor digitar a Cidade corretamente"));
    if (!kStates.contains(f.state))
        return label(QStringLiteral("Favor digitar o UF corretamente.  Ex: SP, RJ, PR, MG (em maiúsculo)"));
    return std::nullopt;
}

FormCheck checkTaxpayerFields(const TaxpayerFields& f) {
    if (!complete(f.ie, 15))
        return box(QStringLiteral("Inscrição Estadual preenchida incorretamente"));
    if (!IEValida(f.ie, QStringLiteral("SP")))
        return box(QStringLiteral("Inscrição Estadual inválida"));
    if (f.name.isEmpty())
        return box(QStringLiteral("Razão Social preenchida incorretamente"));
    if (!cnpjComplete(f.cnpj))
        return box(QStringLiteral("CNPJ preenchido incorretamente"));
    if (!CNPJValida(f.cnpj))
        return box(QStringLiteral("CNPJ preenchido é inválido"));
    if (!complete(f.cnae, 9))
        return box(QStringLiteral("CNAE preenchido incorretamente"));
    return std::nullopt;
}

FormCheck checkTaxpayerSave(const TaxpayerFields& f) {
    if (FormCheck failure = checkTaxpayerFields(f))
        return failure;
    if (f.key.isEmpty())
        return box(QStringLiteral("Chave não informada"));
    if (!f.fieldError.isEmpty())
        return FormFailure{QStringLiteral("Corrija os erros antes de prosseguir"), AppTexts::programTitle,
                           MessageIcon::None, false};
    return std::nullopt;
}

} // namespace fiscora
