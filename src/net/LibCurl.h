#pragma once

#include "core/Result.h"
#include "core/SystemLibrary.h"

// The table below calls libcurl through pointers: its type-checking macros would call it directly.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace fiscora {

// The functions of libcurl the program calls. The start-up window needs none of them, so the
// library is opened with the first exchange with the server, not with the program; code calls
// them through this table and never directly.
#define FISCORA_LIBCURL(X)                                                                                   \
    X(curl_easy_cleanup)                                                                                     \
    X(curl_easy_getinfo)                                                                                     \
    X(curl_easy_init)                                                                                        \
    X(curl_easy_recv)                                                                                        \
    X(curl_easy_send)                                                                                        \
    X(curl_easy_setopt)                                                                                      \
    X(curl_easy_strerror)                                                                                    \
    X(curl_global_init)                                                                                      \
    X(curl_multi_add_handle)                                                                                 \
    X(curl_multi_cleanup)                                                                                    \
    X(curl_multi_info_read)                                                                                  \
    X(curl_multi_init)                                                                                       \
    X(curl_multi_remove_handle)                                                                              \
    X(curl_multi_setopt)                                                                                     \
    X(curl_multi_socket_action)                                                                              \
    X(curl_slist_append)                                                                                     \
    X(curl_slist_free_all)

struct LibCurl {
    FISCORA_LIBCURL(FISCORA_LIBRARY_SLOT)
};

// libcurl, opened and initialised on the first call (from any thread), or why it could not be.
const Result<const LibCurl*>& libCurl();

} // namespace fiscora
