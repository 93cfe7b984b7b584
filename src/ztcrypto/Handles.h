#pragma once
// The handles that cross the boundary. Every handle lives in one registry, so a pointer the
// caller passes is looked up before it is ever dereferenced: freed, foreign and wrong-kind
// handles are refused instead of crashing.

#include <openssl/x509.h>

#include <memory>

#include "openssl/OpenSSLPtr.h"
#include "ztcrypto/ztcrypto.h"

namespace brelo::ztcrypto {

enum class HandleKind { Key, Cert, Request, Name, BorrowedName, Cipher, Digest };

struct THandle {
    explicit THandle(HandleKind kind) : Kind(kind) {}
    virtual ~THandle() = default;
    const HandleKind Kind;
};

}  // namespace brelo::ztcrypto

struct ZtKey : brelo::ztcrypto::THandle {
    explicit ZtKey(brelo::EvpPKeyPtr key) : THandle(Kind_), Key(std::move(key)) {}
    static constexpr auto Kind_ = brelo::ztcrypto::HandleKind::Key;
    brelo::EvpPKeyPtr Key;
};

struct ZtName : brelo::ztcrypto::THandle {
    /// An own name (CreateDistinguishedName).
    explicit ZtName(brelo::X509NamePtr name)
        : THandle(Kind_), Name(name.get()), Owned(std::move(name)) {}
    /// A name borrowed from a certificate or request, which outlives this handle.
    explicit ZtName(X509_NAME* borrowed)
        : THandle(brelo::ztcrypto::HandleKind::BorrowedName), Name(borrowed) {}
    static constexpr auto Kind_ = brelo::ztcrypto::HandleKind::Name;
    X509_NAME* Name;
    brelo::X509NamePtr Owned;
};

struct ZtCert : brelo::ztcrypto::THandle {
    explicit ZtCert(brelo::X509Ptr cert) : THandle(Kind_), Cert(std::move(cert)) {}
    static constexpr auto Kind_ = brelo::ztcrypto::HandleKind::Cert;
    brelo::X509Ptr Cert;
    ZtName* Subject = nullptr;  ///< borrowed-name handle, made on first request
};

struct ZtRequest : brelo::ztcrypto::THandle {
    explicit ZtRequest(brelo::X509ReqPtr request) : THandle(Kind_), Request(std::move(request)) {}
    static constexpr auto Kind_ = brelo::ztcrypto::HandleKind::Request;
    brelo::X509ReqPtr Request;
    ZtName* Subject = nullptr;
};

struct ZtCipherContext : brelo::ztcrypto::THandle {
    explicit ZtCipherContext(brelo::EvpCipherCtxPtr ctx) : THandle(Kind_), Ctx(std::move(ctx)) {}
    static constexpr auto Kind_ = brelo::ztcrypto::HandleKind::Cipher;
    brelo::EvpCipherCtxPtr Ctx;
    bool Finished = false;
};

namespace brelo::ztcrypto {

/// The state behind a caller's ZtDigestContext.
struct TDigestState : THandle {
    explicit TDigestState(EvpMdCtxPtr ctx) : THandle(Kind_), Ctx(std::move(ctx)) {}
    static constexpr auto Kind_ = HandleKind::Digest;
    EvpMdCtxPtr Ctx;
};

/// Registers a new handle; the registry owns it until Release.
THandle* AdoptHandle(std::unique_ptr<THandle> handle);
template <typename T>
T* Adopt(std::unique_ptr<T> handle) {
    return static_cast<T*>(AdoptHandle(std::move(handle)));
}

/// The live handle P of the given kind, or EInvalidHandle naming the export and argument.
THandle& LookupHandle(const void* p, HandleKind kind, const char* exportName, const char* argName);
template <typename T>
T& Lookup(const void* p, const char* exportName, const char* argName) {
    return static_cast<T&>(LookupHandle(p, T::Kind_, exportName, argName));
}
/// A name handle for reading: own or borrowed.
ZtName& LookupAnyName(const void* p, const char* exportName, const char* argName);

/// Destroys a live handle of the given kind (EInvalidHandle when there is none).
void ReleaseHandle(const void* p, HandleKind kind, const char* exportName);

/// The borrowed subject handle of a certificate or request, made once.
const ZtName* BorrowSubject(ZtName*& slot, X509_NAME* name);

}  // namespace brelo::ztcrypto

namespace brelo::ztcrypto {
/// True when P is a live handle of the given kind (no failure).
bool IsLive(const void* p, HandleKind kind);
}  // namespace brelo::ztcrypto
