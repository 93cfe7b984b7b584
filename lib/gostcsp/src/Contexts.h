#pragma once
// The provider's contexts and the handle tables that hand them out as 32-bit numbers.
// Handles are unique across all families, so a handle of the wrong family is never found.

#include <openssl/crypto.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "Gost28147.h"
#include "Gost3410.h"
#include "Gost3411.h"
#include "gostcsp.h"

namespace gostcsp {

struct CipherCtx {
    explicit CipherCtx(const std::uint8_t key[32], bool encrypt);
    Gost28147 Cipher;
    Gost28147Cfb Cfb;
    Gost28147Mac Mac;
    bool Encrypt;
};

struct HashCtx {
    HashCtx() = default;
    HashCtx(const HashCtx&) = delete;
    HashCtx& operator=(const HashCtx&) = delete;
    /// The digest of a password is a cipher key: it never outlives the context.
    ~HashCtx() { ForgetDigest(); }
    void ForgetDigest() {
        if (Digest)
            OPENSSL_cleanse(Digest->data(), Digest->size());
        Digest.reset();
    }

    Gost3411 Hash;
    std::optional<Gost3411::Block> Digest;  // set by Final, forgotten by Begin
};

struct SignCtx {
    int ByteOrder = CSP_BYTE_ORDER_LITTLE;
    std::optional<Gost3410Params> Params;
    BnPtr X, Y;
};

std::uint32_t NextHandle();

template <typename T>
class HandleTable {
public:
    CSP_HANDLE Add(std::unique_ptr<T> ctx) {
        std::lock_guard lock(FMutex);
        CSP_HANDLE h = NextHandle();
        FItems.emplace(h, std::move(ctx));
        return h;
    }
    T* Find(CSP_HANDLE h) {
        std::lock_guard lock(FMutex);
        auto it = FItems.find(h);
        return it == FItems.end() ? nullptr : it->second.get();
    }
    bool Remove(CSP_HANDLE h) {
        std::lock_guard lock(FMutex);
        return FItems.erase(h) == 1;
    }
    /// Destroys every context and gives back all memory of the table, so that nothing is
    /// left behind when the library is unloaded afterwards.
    void Clear() {
        std::lock_guard lock(FMutex);
        std::unordered_map<CSP_HANDLE, std::unique_ptr<T>>().swap(FItems);
    }

private:
    std::mutex FMutex;
    std::unordered_map<CSP_HANDLE, std::unique_ptr<T>> FItems;
};

HandleTable<CipherCtx>& CipherTable();
HandleTable<HashCtx>& HashTable();
HandleTable<SignCtx>& SignTable();

/// Runs an entry point's body; no exception crosses the C boundary.
template <typename Body>
std::int32_t Guard(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return CSP_E_INTERNAL;
    }
}

}  // namespace gostcsp
