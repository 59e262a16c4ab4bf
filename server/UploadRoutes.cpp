#include "Operations.h"

namespace servidor {

void registerUploadRoutes(httplib::Server&, ServerStore&, RequestLog&) {}

} // namespace servidor
