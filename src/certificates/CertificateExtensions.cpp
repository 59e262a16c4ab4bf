#include "certificates/CertificateExtensions.h"

#include "net/LibCrypto.h"

#include <memory>

namespace fiscora {

namespace {

using X509Ptr = std::unique_ptr<X509, decltype(LibCrypto::X509_free)>;

// No certificate when the DER does not decode, or when OpenSSL cannot be loaded (nothing is
// read from the certificate then: the fields stay empty).
X509Ptr parse(const QByteArray& der, const LibCrypto** crypto) {
    const Result<const LibCrypto*>& loaded = libCrypto();
    if (!loaded)
        return X509Ptr(nullptr, nullptr);
    const LibCrypto& c = **loaded;
    *crypto = &c;
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(c.d2i_X509(nullptr, &bytes, der.size()), c.X509_free);
}

QString objectId(const LibCrypto& c, const ASN1_OBJECT* object) {
    char buffer[128];
    const int length = c.OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    if (length <= 0 || length >= static_cast<int>(sizeof buffer))
        return {};
    return QString::fromLatin1(buffer, length);
}

// ICP-Brasil writes these values as OCTET STRING; some authorities use a character string type.
QString stringValue(const LibCrypto& c, const ASN1_TYPE* value) {
    if (!value)
        return {};
    switch (value->type) {
    case V_ASN1_OCTET_STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_UTF8STRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_VISIBLESTRING:
    case V_ASN1_T61STRING: {
        const ASN1_STRING* text = value->value.asn1_string;
        return QString::fromLatin1(reinterpret_cast<const char*>(c.ASN1_STRING_get0_data(text)),
                                   c.ASN1_STRING_length(text));
    }
    default:
        return {};
    }
}

QString cpfOf(const QString& personData) {
    const QString cpf = personData.mid(8, 11);
    if (cpf.size() != 11)
        return {};
    bool allZero = true;
    for (const QChar c : cpf) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
        allZero = allZero && c == QLatin1Char('0');
    }
    return allZero ? QString() : cpf;
}

} // namespace

QString IcpBrasilFields::cpf() const {
    const QString holder = cpfOf(holderData);
    return holder.isEmpty() ? cpfOf(responsibleData) : holder;
}

IcpBrasilFields CertificateExtensions::icpBrasil(const QByteArray& der) {
    IcpBrasilFields fields;
    const LibCrypto* crypto = nullptr;
    const X509Ptr certificate = parse(der, &crypto);
    if (!certificate)
        return fields;
    const LibCrypto& c = *crypto;
    auto* names = static_cast<GENERAL_NAMES*>(
        c.X509_get_ext_d2i(certificate.get(), NID_subject_alt_name, nullptr, nullptr));
    if (!names)
        return fields;
    for (int i = 0; i < c.stackSize(names); ++i) {
        const auto* name = c.stackItem<const GENERAL_NAME>(names, i);
        if (name->type != GEN_OTHERNAME)
            continue;
        const QString oid = objectId(c, name->d.otherName->type_id);
        const QString value = stringValue(c, name->d.otherName->value);
        if (oid == u"2.16.76.1.3.3")
            fields.cnpj = value;
        else if (oid == u"2.16.76.1.3.1")
            fields.holderData = value;
        else if (oid == u"2.16.76.1.3.4")
            fields.responsibleData = value;
    }
    c.GENERAL_NAMES_free(names);
    return fields;
}

CdpLookup CertificateExtensions::crlDistributionPoints(const QByteArray& der) {
    CdpLookup lookup;
    const LibCrypto* crypto = nullptr;
    const X509Ptr certificate = parse(der, &crypto);
    if (!certificate)
        return lookup;
    const LibCrypto& c = *crypto;
    int critical = -1;
    auto* points = static_cast<CRL_DIST_POINTS*>(
        c.X509_get_ext_d2i(certificate.get(), NID_crl_distribution_points, &critical, nullptr));
    if (!points) {
        // -1: no such extension; -2: it occurs twice; 0 or 1: it is there but does not decode.
        if (critical != -1) {
            lookup.present = true;
            lookup.error = kBadTag;
        }
        return lookup;
    }
    lookup.present = true;
    for (int i = 0; i < c.stackSize(points); ++i) {
        const auto* point = c.stackItem<const DIST_POINT>(points, i);
        if (!point->distpoint || point->distpoint->type != 0)
            continue; // a name relative to the issuer carries no address
        const GENERAL_NAMES* full = point->distpoint->name.fullname;
        for (int j = 0; j < c.stackSize(full); ++j) {
            const auto* name = c.stackItem<const GENERAL_NAME>(full, j);
            if (name->type != GEN_URI)
                continue;
            const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
            lookup.urls.append(QString::fromLatin1(
                reinterpret_cast<const char*>(c.ASN1_STRING_get0_data(uri)), c.ASN1_STRING_length(uri)));
        }
    }
    c.CRL_DIST_POINTS_free(points);
    if (lookup.urls.isEmpty())
        lookup.error = kNotFound;
    return lookup;
}

} // namespace fiscora
