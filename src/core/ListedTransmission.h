#pragma once

#include <QString>

namespace fiscora {

// One row of a valid transmission list; in the journal, a protocol with the reference the list
// gave it.
struct ListedTransmission {
    QString reference;
    QString protocol;
    bool operator==(const ListedTransmission&) const = default;
};

} // namespace fiscora
