#include "certificates/CertificateExtensions.h"

#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace fiscora {

namespace {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr parse(const QByteArray& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &bytes, der.size()));
}

QString objectId(const ASN1_OBJECT* object) {
    char buffer[128];
    const int length = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    if (length <= 0 || length >= static_cast<int>(sizeof buffer))
        return {};
    return QString::fromLatin1(buffer, length);
}

// ICP-Brasil writes these values as OCTET STRING; some authorities use a character string type.
QString stringValue(const ASN1_TYPE* value) {
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
        return QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                                   ASN1_STRING_length(text));
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
    const X509Ptr certificate = parse(der);
    if (!certificate)
        return fields;
    auto* names = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(certificate.get(), NID_subject_alt_name, nullptr, nullptr));
    if (!names)
        return fields;
    for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type != GEN_OTHERNAME)
            continue;
        const QString oid = objectId(name->d.otherName->type_id);
        const QString value = stringValue(name->d.otherName->value);
        if (oid == u"2.16.76.1.3.3")
            fields.cnpj = value;
        else if (oid == u"2.16.76.1.3.1")
            fields.holderData = value;
        else if (oid == u"2.16.76.1.3.4")
            fields.responsibleData = value;
    }
    GENERAL_NAMES_free(names);
    return fields;
}

CdpLookup CertificateExtensions::crlDistributionPoints(const QByteArray& der) {
    CdpLookup lookup;
    const X509Ptr certificate = parse(der);
    if (!certificate)
        return lookup;
    int critical = -1;
    auto* points = static_cast<CRL_DIST_POINTS*>(
        X509_get_ext_d2i(certificate.get(), NID_crl_distribution_points, &critical, nullptr));
    if (!points) {
        // -1: no such extension; -2: it occurs twice; 0 or 1: it is there but does not decode.
        if (critical != -1) {
            lookup.present = true;
            lookup.error = kBadTag;
        }
        return lookup;
    }
    lookup.present = true;
    for (int i = 0; i < sk_DIST_POINT_num(points); ++i) {
        const DIST_POINT* point = sk_DIST_POINT_value(points, i);
        if (!point->distpoint || point->distpoint->type != 0)
            continue; // a name relative to the issuer carries no address
        const GENERAL_NAMES* full = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(full); ++j) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(full, j);
            if (name->type != GEN_URI)
                continue;
            const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
            lookup.urls.append(QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                                                   ASN1_STRING_length(uri)));
        }
    }
    CRL_DIST_POINTS_free(points);
    if (lookup.urls.isEmpty())
        lookup.error = kNotFound;
    return lookup;
}

} // namespace fiscora
