// A PKCS#11 module that never answers (FISCORA_MODULE_HANGS) or crashes as soon as it is asked
// for its functions: what a broken token driver does to the program that loads it.
#include <cstdlib>

#include <unistd.h>

extern "C" __attribute__((visibility("default"))) unsigned long C_GetFunctionList(void**) {
#ifdef FISCORA_MODULE_HANGS
    for (;;)
        pause();
#else
    std::abort();
#endif
}
