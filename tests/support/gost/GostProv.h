#pragma once
// Test helpers: hex conversion and OpenSSL's GOST provider (gostprov, Debian package
// libengine-gost-openssl) loaded in a private library context, as an independent reference.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace gosttest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < size; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

inline std::string ToHex(const Bytes& b) {
    return ToHex(b.data(), b.size());
}

inline Bytes Ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes Key00to1f() {
    Bytes k(32);
    for (int i = 0; i < 32; ++i) k[i] = std::uint8_t(i);
    return k;
}

/// gostprov in its own library context. Its "gost89" (CFB) cipher reads the S-box from the
/// environment when the provider loads, so the CryptoPro-A set is chosen here.
class GostProv {
public:
    GostProv() {
        setenv("CRYPT_PARAMS", "id-Gost28147-89-CryptoPro-A-ParamSet", 1);
        FLib.reset(OSSL_LIB_CTX_new());
        FGost = OSSL_PROVIDER_load(FLib.get(), "gostprov");
        FDefault = OSSL_PROVIDER_load(FLib.get(), "default");
    }
    ~GostProv() {
        if (FGost)
            OSSL_PROVIDER_unload(FGost);
        if (FDefault)
            OSSL_PROVIDER_unload(FDefault);
    }
    /// Fails the test (never skips) when the provider is not installed.
    bool Loaded() const { return FGost != nullptr; }
    static constexpr const char* kMissing =
        "OpenSSL's GOST provider gostprov did not load: install the Debian package "
        "libengine-gost-openssl";

    Bytes Digest(const Bytes& msg) {
        std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(
            EVP_MD_fetch(FLib.get(), "md_gost94", nullptr), EVP_MD_free);
        Bytes out(32);
        unsigned len = 0;
        if (!md || !EVP_Digest(msg.data(), msg.size(), out.data(), &len, md.get(), nullptr))
            return {};
        return out;
    }

    Bytes Mac8(const Bytes& key, const Bytes& msg) {
        std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(
            EVP_MAC_fetch(FLib.get(), "gost-mac", nullptr), EVP_MAC_free);
        if (!mac)
            return {};
        std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> ctx(EVP_MAC_CTX_new(mac.get()),
                                                                      EVP_MAC_CTX_free);
        size_t size = 8, outl = 0;
        OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t("size", &size),
                               OSSL_PARAM_construct_end()};
        Bytes out(8);
        if (!EVP_MAC_init(ctx.get(), key.data(), key.size(), params) ||
            !EVP_MAC_update(ctx.get(), msg.data(), msg.size()) ||
            !EVP_MAC_final(ctx.get(), out.data(), &outl, out.size()) || outl != 8)
            return {};
        return out;
    }

    /// CFB with the CryptoPro-A S-box (gostprov adds key meshing beyond 1024 bytes).
    Bytes Cfb(const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt) {
        std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> c(
            EVP_CIPHER_fetch(FLib.get(), "gost89", nullptr), EVP_CIPHER_free);
        std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
        Bytes out(data.size() + 16);
        int n = 0, m = 0;
        if (!c ||
            !EVP_CipherInit_ex2(ctx.get(), c.get(), key.data(), iv.data(), encrypt ? 1 : 0,
                                nullptr) ||
            !EVP_CipherUpdate(ctx.get(), out.data(), &n, data.data(), int(data.size())) ||
            !EVP_CipherFinal_ex(ctx.get(), out.data() + n, &m))
            return {};
        out.resize(std::size_t(n + m));
        return out;
    }

private:
    std::unique_ptr<OSSL_LIB_CTX, decltype(&OSSL_LIB_CTX_free)> FLib{nullptr, OSSL_LIB_CTX_free};
    OSSL_PROVIDER* FGost = nullptr;
    OSSL_PROVIDER* FDefault = nullptr;
};

/// Messages of many lengths around the block sizes, for comparisons with gostprov.
inline std::vector<Bytes> SampleMessages() {
    std::vector<Bytes> out;
    for (std::size_t len :
         {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 520, 1000, 1024}) {
        Bytes m(len);
        for (std::size_t i = 0; i < len; ++i) m[i] = std::uint8_t(i * 37 + len);
        out.push_back(m);
    }
    return out;
}

}  // namespace gosttest
