#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace fiscora::jet {

// Page 0 of a Jet 4 file: signature, version, and the RC4-obfuscated region holding the code
// page, the sort order, the creation date and the database password.
class HeaderPage final {
public:
    static constexpr int MaxPasswordLength = 20;

    // The creation date the header carries (a Jet date). It is the one Access stored in its own
    // empty database, whose security ids the system catalog reuses; keeping the pair together
    // keeps the header and the catalog consistent with each other.
    static double creationDate();

    // Fills page (4096 bytes, zeroed) for the given password; false when it cannot be stored.
    static bool build(unsigned char* page, const QString& password);

    // The database password a header page holds (Jet 3 or Jet 4; empty for none); nullopt when
    // the bytes are not the start of a Jet 3 or Jet 4 file.
    static std::optional<QString> password(QByteArrayView header);
};

} // namespace fiscora::jet
