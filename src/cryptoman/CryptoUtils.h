#pragma once
// Small operations shared by the crypto formats.

#include <string>

#include "core/ByteString.h"
#include "core/Streams.h"

namespace brelo {

/// Replaces the stream's content (read from its start) by its Base64 text, written from the
/// start. The stream is not truncated; the text is longer than the data, so it ends up
/// holding exactly the text.
void EncodeStreamBase64(TStream& stream);

/// SHA-1 of the bytes of Text as 40 upper-case hexadecimal digits.
using TSha1TextProc = std::string (*)(const ByteString& text);
/// Registered by the OpenSSL format at start-up; empty until then.
extern TSha1TextProc Sha1TextProc;
void SetSha1TextProc(TSha1TextProc proc);

/// Sha1TextProc(Text); an assertion failure when no procedure is registered.
std::string Sha1Text(const ByteString& text);

}  // namespace brelo
