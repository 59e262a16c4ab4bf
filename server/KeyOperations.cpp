#include "Operations.h"

namespace servidor {

void registerKeyOperations(SoapService&, ServerStore&) {}

} // namespace servidor
