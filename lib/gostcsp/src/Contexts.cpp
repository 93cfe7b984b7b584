#include "Contexts.h"

#include <atomic>

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
    if (h == 0) h = next++;  // 0 is never a handle
    return h;
}

HandleTable<CipherCtx>& CipherTable() {
    static HandleTable<CipherCtx> table;
    return table;
}

HandleTable<HashCtx>& HashTable() {
    static HandleTable<HashCtx> table;
    return table;
}

HandleTable<SignCtx>& SignTable() {
    static HandleTable<SignCtx> table;
    return table;
}

}  // namespace gostcsp
