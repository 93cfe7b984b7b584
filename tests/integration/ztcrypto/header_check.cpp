// The public header compiles as C++ and declares C linkage.
#include "ztcrypto.h"

#include <type_traits>

static_assert(std::is_same_v<decltype(&LoadPrivateKey), int (*)(const char*, const char*, int, ZtKey**)>);
