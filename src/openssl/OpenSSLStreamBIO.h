#pragma once
// A BIO whose reads and writes go to a system byte stream, so that every OpenSSL call can read
// from and write to memory or file streams (and ztcrypto's caller-provided streams).

#include <openssl/bio.h>

#include "core/Streams.h"
#include "openssl/OpenSSLPtr.h"

namespace brelo {

/// The one method record of the bridge, made on first use.
const BIO_METHOD* StreamBIOMethod();

/// Attaches Stream and marks the BIO ready; the BIO does not own the stream (close flag 0).
void SetBIOStream(BIO* bio, TStream* stream);

/// The usual pattern: a new bridge BIO over Stream, freed by the handle; the caller keeps the
/// stream. A stream failure inside a callback is reported to OpenSSL as an I/O error, never
/// thrown through it.
BioPtr NewStreamBIO(TStream& stream);

}  // namespace brelo
