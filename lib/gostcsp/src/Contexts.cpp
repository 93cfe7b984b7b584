#include "Contexts.h"

#include <atomic>
#include <new>

namespace gostcsp {

namespace {
const std::uint8_t kZeroIv[8] = {};
}

CipherCtx::CipherCtx(const std::uint8_t key[32], bool encrypt)
    : Cipher(kSBoxCryptoProA), Cfb(Cipher, kZeroIv, encrypt), Mac(Cipher), Encrypt(encrypt) {
    Cipher.SetKey(key);
}

std::uint32_t NextHandle() {
    static std::atomic<std::uint32_t> next{1};
    std::uint32_t h = next++;
    if (h == 0)
        h = next++;  // 0 is never a handle
    return h;
}

namespace {

// The tables outlive every static destructor: a program that dlopened this library may call
// CSPDeInitialize from its own exit handlers, after this library's statics would be gone.
template <typename T>
class Immortal {
public:
    Immortal() { ::new (static_cast<void*>(FStorage)) T(); }
    T& Get() { return *std::launder(reinterpret_cast<T*>(FStorage)); }

private:
    alignas(T) unsigned char FStorage[sizeof(T)];
};

}  // namespace

HandleTable<CipherCtx>& CipherTable() {
    static Immortal<HandleTable<CipherCtx>> table;
    return table.Get();
}

HandleTable<HashCtx>& HashTable() {
    static Immortal<HandleTable<HashCtx>> table;
    return table.Get();
}

HandleTable<SignCtx>& SignTable() {
    static Immortal<HandleTable<SignCtx>> table;
    return table.Get();
}

}  // namespace gostcsp
