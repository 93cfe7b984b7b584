/* Compiled as C99 with -pedantic-errors: the public header must stand on its own. */
#include "ztcrypto.h"

int ztcrypto_header_check_c(void);
int ztcrypto_header_check_c(void) {
    ZtDigestContext ctx = ZT_DIGEST_CONTEXT_INIT;
    int (*load)(const char*, const char*, int, ZtKey**) = LoadPrivateKey;
    return ZT_OK + (int)ctx.kind + (load == LoadPrivateKey);
}
