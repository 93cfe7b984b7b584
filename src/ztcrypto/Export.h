#pragma once
// What every export file needs.

#include "core/Format.h"
#include "ztcrypto/Args.h"
#include "ztcrypto/Boundary.h"
#include "ztcrypto/Handles.h"
#include "openssl/OpenSSLHelp.h"
#include "openssl/OpenSSLStreamBIO.h"
#include "openssl/ztcryptotype.h"
#include "ztcrypto/Texts.h"
#include "ztcrypto/ztcrypto.h"

/// Marks a definition as one of the library's exports (everything else is hidden).
#define ZT_EXPORT extern "C" __attribute__((visibility("default")))
