// Token drivers that fail as real ones do, one per build of this file:
//   FISCORA_MODULE_HANGS        never answers when it is loaded
//   FISCORA_MODULE_CRASHES      crashes when it is loaded
//   FISCORA_MODULE_REFUSES      does not start (as SoftHSM2 for a user who may not read its
//                               configuration)
//   FISCORA_MODULE_SLOTS_FAIL   starts but cannot list its slots (a reader service in trouble)
//   otherwise                   starts and has no slots (no reader plugged in)
#include <p11-kit/pkcs11.h>

#include <cstdlib>

#include <unistd.h>

namespace {

CK_RV initialize(void*) {
#ifdef FISCORA_MODULE_REFUSES
    return CKR_GENERAL_ERROR;
#else
    return CKR_OK;
#endif
}

CK_RV finalize(void*) {
    return CKR_OK;
}

CK_RV info(CK_INFO* info) {
    *info = CK_INFO{};
    info->cryptokiVersion = {2, 20};
    return CKR_OK;
}

CK_RV slotList(CK_BBOOL, CK_SLOT_ID*, CK_ULONG* count) {
#ifdef FISCORA_MODULE_SLOTS_FAIL
    (void)count;
    return CKR_DEVICE_ERROR;
#else
    *count = 0;
    return CKR_OK;
#endif
}

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
#if defined(FISCORA_MODULE_HANGS)
    for (;;)
        pause();
#elif defined(FISCORA_MODULE_CRASHES)
    std::abort();
#endif
    static CK_FUNCTION_LIST functions{};
    functions.version = {2, 20};
    functions.C_Initialize = initialize;
    functions.C_Finalize = finalize;
    functions.C_GetInfo = info;
    functions.C_GetSlotList = slotList;
    *list = &functions;
    return CKR_OK;
}
