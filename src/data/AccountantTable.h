#pragma once

#include "core/Result.h"
#include "data/LocalDatabase.h"

namespace fiscora {

// The statements on tblContador, each one command on its own connection. Values go in as the
// user typed them (apostrophes single): they are bound, so nothing is doubled here.

// Replaces the accountant row ("delete from tblContador" then the insert of the twelve
// columns) in one transaction: when the insert fails the previous row is still there.
Status saveAccountant(const Accountant& contador);
// "delete from tblContador"
Status removeAccountant();
// "select count(0) as total from tblContador"
Result<qint64> countAccountants();

} // namespace fiscora
