#include "validation/FormRules.h"

#include <QTest>

using namespace fiscora;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(fiscora::CrcAnswer)

namespace {

// A form that passes every check; each row changes one field as "field=value".
AccountantFields accountant(const QStringList& changes) {
    AccountantFields f{false,
                       u"11.222.333/0001-81"_s,
                       u"SP-123456"_s,
                       u"Escritório Modelo"_s,
                       u"Rua A"_s,
                       u"10"_s,
                       u""_s,
                       u"Centro"_s,
                       u"Valdorra"_s,
                       u"SP"_s,
                       u"(11) 5555-1234"_s,
                       u"01001-000"_s,
                       u"a@b.com.br"_s};
    for (const QString& change : changes) {
        const QString field = change.section(u'=', 0, 0);
        const QString value = change.section(u'=', 1);
        QString* target = field == u"document"_s   ? &f.document
                          : field == u"crc"_s      ? &f.crc
                          : field == u"name"_s     ? &f.name
                          : field == u"street"_s   ? &f.street
                          : field == u"number"_s   ? &f.number
                          : field == u"district"_s ? &f.district
                          : field == u"city"_s     ? &f.city
                          : field == u"state"_s    ? &f.state
                          : field == u"postcode"_s ? &f.postcode
                          : field == u"email"_s    ? &f.email
                                                   : nullptr;
        if (field == u"cpf"_s)
            f.cpf = true;
        else if (target)
            *target = value;
        else
            qFatal("unknown field %s", qPrintable(field));
    }
    return f;
}

TaxpayerFields taxpayer(const QStringList& changes) {
    TaxpayerFields f{u"110.042.490.114"_s, u"Padaria"_s, u"11.222.333/0001-81"_s,
                     u"4711-3/02"_s,       u"CHAVE"_s,   {}};
    for (const QString& change : changes) {
        const QString field = change.section(u'=', 0, 0);
        const QString value = change.section(u'=', 1);
        QString* target = field == u"ie"_s      ? &f.ie
                          : field == u"name"_s  ? &f.name
                          : field == u"cnpj"_s  ? &f.cnpj
                          : field == u"cnae"_s  ? &f.cnae
                          : field == u"key"_s   ? &f.key
                          : field == u"label"_s ? &f.fieldError
                                                : nullptr;
        if (!target)
            qFatal("unknown field %s", qPrintable(field));
        *target = value;
    }
    return f;
}

} // namespace

class FormRulesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void accountant_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<CrcAnswer>("crc");
        QTest::addColumn<QString>("expected"); // "" when the form passes
        QTest::addColumn<bool>("question");
        const QString cnpjError = u"Documento CNPJ Informado incorretamente"_s;
        QTest::newRow("complete form") << QStringList{} << CrcAnswer::NotAsked << u""_s << false;
        QTest::newRow("CNPJ check digits")
            << QStringList{u"document=11.222.333/0001-80"_s} << CrcAnswer::NotAsked << cnpjError << false;
        QTest::newRow("CNPJ not complete")
            << QStringList{u"document=__.___.___/____-__"_s} << CrcAnswer::NotAsked << cnpjError << false;
        QTest::newRow("CPF under the CPF type")
            << QStringList{u"cpf"_s, u"document=111.444.777-35"_s} << CrcAnswer::NotAsked << u""_s << false;
        QTest::newRow("CNPJ under the CPF type") << QStringList{u"cpf"_s} << CrcAnswer::NotAsked
                                                 << u"Documento CPF Informado incorretamente"_s << false;
        // The document comes first, then the e-mail, then the CRC question.
        QTest::newRow("document before e-mail")
            << QStringList{u"document=1"_s, u"email="_s} << CrcAnswer::NotAsked << cnpjError << false;
        QTest::newRow("short e-mail")
            << QStringList{u"email=a@b.c"_s} << CrcAnswer::NotAsked << u"Favor digitar um e-mail"_s << false;
        QTest::newRow("apostrophes count twice in the e-mail")
            << QStringList{u"email=a''@b"_s} << CrcAnswer::NotAsked << u""_s << false;
        QTest::newRow("e-mail before the CRC") << QStringList{u"email="_s, u"crc= "_s} << CrcAnswer::NotAsked
                                               << u"Favor digitar um e-mail"_s << false;
        QTest::newRow("no CRC asks") << QStringList{u"crc= "_s} << CrcAnswer::NotAsked
                                     << u"Deseja prosseguir sem o CRC?"_s << true;
        QTest::newRow("no CRC, declined")
            << QStringList{u"crc="_s} << CrcAnswer::No
            << u"Você optou por não prosseguir sem o CRC, favor digitar e clicar em OK novamente"_s << false;
        QTest::newRow("no CRC, accepted") << QStringList{u"crc="_s} << CrcAnswer::Yes << u""_s << false;
        QTest::newRow("accepted, then the name") << QStringList{u"crc="_s, u"name=Ab"_s} << CrcAnswer::Yes
                                                 << u"Favor digitar a Razão Social corretamente"_s << false;
        QTest::newRow("name of four with an apostrophe")
            << QStringList{u"name=D'Av"_s} << CrcAnswer::NotAsked << u""_s << false;
        QTest::newRow("street") << QStringList{u"street="_s} << CrcAnswer::NotAsked
                                << u"Favor digitar o Endereço corretamente"_s << false;
        QTest::newRow("number") << QStringList{u"number="_s} << CrcAnswer::NotAsked
                                << u"Favor digitar o Número corretamente"_s << false;
        QTest::newRow("postcode not complete") << QStringList{u"postcode=01001-___"_s} << CrcAnswer::NotAsked
                                               << u"Favor digitar o CEP corretamente"_s << false;
        QTest::newRow("district blank") << QStringList{u"district=  "_s} << CrcAnswer::NotAsked
                                        << u"Favor digitar o Bairro corretamente"_s << false;
        QTest::newRow("city blank") << QStringList{u"city= "_s} << CrcAnswer::NotAsked
                                    << u"Favor digitar a Cidade corretamente"_s << false;
        QTest::newRow("state in lower case")
            << QStringList{u"state=sp"_s} << CrcAnswer::NotAsked
            << u"Favor digitar o UF corretamente.  Ex: SP, RJ, PR, MG (em maiúsculo)"_s << false;
        QTest::newRow("first failure wins") << QStringList{u"street="_s, u"state=XX"_s} << CrcAnswer::NotAsked
                                            << u"Favor digitar o Endereço corretamente"_s << false;
    }
    void accountant() {
        QFETCH(QStringList, changes);
        QFETCH(CrcAnswer, crc);
        QFETCH(QString, expected);
        QFETCH(bool, question);
        const FormCheck failure = checkAccountant(::accountant(changes), crc);
        QCOMPARE(failure ? failure->message : QString(), expected);
        QCOMPARE(failure && failure->question, question);
        if (failure && !question)
            QCOMPARE(failure->title, QString()); // shown in the window's label
    }

    void taxpayer_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("fieldsOnly"); // the key request's checks
        QTest::addColumn<QString>("save");       // the checks of OK
        QTest::newRow("complete form") << QStringList{} << u""_s << u""_s;
        QTest::newRow("IE not complete")
            << QStringList{u"ie=110.042.490.___"_s} << u"Inscrição Estadual preenchida incorretamente"_s
            << u"Inscrição Estadual preenchida incorretamente"_s;
        QTest::newRow("IE check digit")
            << QStringList{u"ie=110.042.490.115"_s} << u"Inscrição Estadual inválida"_s
            << u"Inscrição Estadual inválida"_s;
        QTest::newRow("no name") << QStringList{u"name="_s} << u"Razão Social preenchida incorretamente"_s
                                 << u"Razão Social preenchida incorretamente"_s;
        QTest::newRow("CNPJ not complete")
            << QStringList{u"cnpj=11.222.333/0001-__"_s} << u"CNPJ preenchido incorretamente"_s
            << u"CNPJ preenchido incorretamente"_s;
        QTest::newRow("CNPJ check digits")
            << QStringList{u"cnpj=11.222.333/0001-80"_s} << u"CNPJ preenchido é inválido"_s
            << u"CNPJ preenchido é inválido"_s;
        QTest::newRow("CNAE not complete")
            << QStringList{u"cnae=4711-3/__"_s} << u"CNAE preenchido incorretamente"_s
            << u"CNAE preenchido incorretamente"_s;
        QTest::newRow("no key") << QStringList{u"key="_s} << u""_s << u"Chave não informada"_s;
        QTest::newRow("label still red")
            << QStringList{u"label=CNPJ Inválido"_s} << u""_s << u"Corrija os erros antes de prosseguir"_s;
        QTest::newRow("fields before the key")
            << QStringList{u"key="_s, u"name="_s} << u"Razão Social preenchida incorretamente"_s
            << u"Razão Social preenchida incorretamente"_s;
    }
    void taxpayer() {
        QFETCH(QStringList, changes);
        QFETCH(QString, fieldsOnly);
        QFETCH(QString, save);
        const TaxpayerFields fields = ::taxpayer(changes);
        const FormCheck a = checkTaxpayerFields(fields);
        const FormCheck b = checkTaxpayerSave(fields);
        QCOMPARE(a ? a->message : QString(), fieldsOnly);
        QCOMPARE(b ? b->message : QString(), save);
        if (b)
            QCOMPARE(b->icon, b->message == u"Corrija os erros antes de prosseguir"_s
                                  ? MessageIcon::None
                                  : MessageIcon::Critical);
    }
};

QTEST_GUILESS_MAIN(FormRulesTest)
#include "FormRulesTest.moc"
