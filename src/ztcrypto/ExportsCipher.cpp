// Encrypted packages, random data, key wrapping and the symmetric cipher.

#include <openssl/pem.h>
#include <openssl/rand.h>

#include <climits>
#include <cstring>

#include "ztcrypto/CallbackStream.h"
#include "ztcrypto/Export.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

constexpr int PackageFlags = PKCS7_BINARY;  // raw bytes: no line-end translation

EVP_PKEY* KeyOf(const ZtKey* key, const char* exportName, const char* argName) {
    return Lookup<ZtKey>(key, exportName, argName).Key.get();
}

/// One asymmetric step (encrypt or decrypt) with the key's default padding, PKCS #1 v1.5.
SecureBytes RsaStep(EVP_PKEY* key, bool encrypt, const void* input, std::int32_t length) {
    EvpPKeyCtxPtr ctx(Made(EVP_PKEY_CTX_new(key, nullptr)));
    if ((encrypt ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) <= 0) RaiseOpenSSL();
    auto step = encrypt ? EVP_PKEY_encrypt : EVP_PKEY_decrypt;
    std::size_t size = 0;
    const auto* in = static_cast<const unsigned char*>(input);
    if (step(ctx.get(), nullptr, &size, in, static_cast<std::size_t>(length)) <= 0) RaiseOpenSSL();
    SecureBytes out(size);
    if (step(ctx.get(), out.data(), &size, in, static_cast<std::size_t>(length)) <= 0) RaiseOpenSSL();
    out.resize(size);
    return out;
}

}  // namespace

ZT_EXPORT int EncryptStream(const ZtStream* source, const ZtStream* target, const ZtCert* recipient,
                            const char* cipherName, int format) {
    return Guard("EncryptStream", [&] {
        TCallbackStream input(source, "EncryptStream", "source");
        TCallbackStream output(target, "EncryptStream", "target");
        X509* cert = Lookup<ZtCert>(recipient, "EncryptStream", "recipient").Cert.get();
        const EVP_CIPHER* cipher = CipherByName(cipherName);
        X509StackPtr certs(Made(sk_X509_new_null()));
        if (!sk_X509_push(certs.get(), cert)) RaiseOpenSSL();
        BioPtr in = NewStreamBIO(input);
        Pkcs7Ptr package(PKCS7_encrypt(certs.get(), in.get(), cipher, PackageFlags));
        input.Check();
        if (!package) RaiseOpenSSL();
        BioPtr out = NewStreamBIO(output);
        if (format == ZT_FORMAT_PEM) PEM_write_bio_PKCS7(out.get(), package.get());
        if (format == ZT_FORMAT_DER) i2d_PKCS7_bio(out.get(), package.get());
        output.Check();
    });
}

ZT_EXPORT int DecryptStream(const ZtStream* source, const ZtStream* target, const ZtKey* privateKey,
                            const ZtCert* recipient, int format) {
    return Guard("DecryptStream", [&] {
        TCallbackStream input(source, "DecryptStream", "source");
        TCallbackStream output(target, "DecryptStream", "target");
        EVP_PKEY* key = KeyOf(privateKey, "DecryptStream", "privateKey");
        X509* cert = Lookup<ZtCert>(recipient, "DecryptStream", "recipient").Cert.get();
        if (format != ZT_FORMAT_PEM && format != ZT_FORMAT_DER) {
            throw EOpenSSLError(ZtText::NoPackage, {format});
        }
        Pkcs7Ptr package;
        {
            TBufferedSource in(input);
            package.reset(format == ZT_FORMAT_PEM ? PEM_read_bio_PKCS7(in.Bio(), nullptr, nullptr, nullptr)
                                                  : d2i_PKCS7_bio(in.Bio(), nullptr));
        }
        input.Check();
        if (!package) RaiseOpenSSL(ZtText::OnReadingCryptedPackage);
        BioPtr out = NewStreamBIO(output);
        const int done = PKCS7_decrypt(package.get(), key, cert, out.get(), PackageFlags);
        output.Check();
        if (done != 1) RaiseOpenSSL(ZtText::OnDecryptingPackage);
    });
}

ZT_EXPORT int GenRandom(void* buffer, int32_t length) {
    return Guard("GenRandom", [&] {
        RequireData(buffer, length, "GenRandom", "length");
        if (length > 0 && RAND_bytes(static_cast<unsigned char*>(buffer), length) != 1) RaiseOpenSSL();
    });
}

ZT_EXPORT int GenRandomKey(const char* cipherName, void* keyBuffer, void* ivBuffer, int32_t* keyLength,
                           int32_t* ivLength) {
    return Guard("GenRandomKey", [&] {
        Require(keyLength, "GenRandomKey", "keyLength");
        Require(ivLength, "GenRandomKey", "ivLength");
        const EVP_CIPHER* cipher = CipherByName(cipherName);
        const int keySize = EVP_CIPHER_get_key_length(cipher), ivSize = EVP_CIPHER_get_iv_length(cipher);
        if (keyBuffer) RequireCapacity(keyLength, keySize, "GenRandomKey");
        if (ivBuffer && ivSize > 0) RequireCapacity(ivLength, ivSize, "GenRandomKey");
        if (keyBuffer && RAND_bytes(static_cast<unsigned char*>(keyBuffer), keySize) != 1) RaiseOpenSSL();
        if (ivBuffer && ivSize > 0 && RAND_bytes(static_cast<unsigned char*>(ivBuffer), ivSize) != 1) {
            RaiseOpenSSL();
        }
        *keyLength = keySize;
        *ivLength = ivSize;
    });
}

ZT_EXPORT int EncryptKey(const void* key, int32_t keyLength, const ZtKey* publicKey, void* output,
                         int32_t* outputLength) {
    return Guard("EncryptKey", [&] {
        RequireData(key, keyLength, "EncryptKey", "keyLength");
        EVP_PKEY* pkey = KeyOf(publicKey, "EncryptKey", "publicKey");
        Require(output, "EncryptKey", "output");
        Require(outputLength, "EncryptKey", "outputLength");
        RequireCapacity(outputLength, EVP_PKEY_get_size(pkey), "EncryptKey");
        const SecureBytes wrapped = RsaStep(pkey, true, key, keyLength);
        RequireCapacity(outputLength, static_cast<std::int64_t>(wrapped.size()), "EncryptKey");
        std::memcpy(output, wrapped.data(), wrapped.size());
        *outputLength = static_cast<int32_t>(wrapped.size());
    });
}

ZT_EXPORT int DecryptKey(const char* cipherName, const void* encryptedKey, int32_t encryptedLength,
                         const ZtKey* privateKey, void* keyBuffer, int32_t* keyLength) {
    return Guard("DecryptKey", [&] {
        const EVP_CIPHER* cipher = CipherByName(cipherName);
        RequireData(encryptedKey, encryptedLength, "DecryptKey", "encryptedLength");
        EVP_PKEY* pkey = KeyOf(privateKey, "DecryptKey", "privateKey");
        Require(keyLength, "DecryptKey", "keyLength");
        if (!keyBuffer) {
            *keyLength = EVP_CIPHER_get_key_length(cipher);
            return;
        }
        // Unwrapped into a wiped buffer first, so that no size of foreign data can overrun the caller's.
        const SecureBytes key = RsaStep(pkey, false, encryptedKey, encryptedLength);
        RequireCapacity(keyLength, static_cast<std::int64_t>(key.size()), "DecryptKey");
        std::memcpy(keyBuffer, key.data(), key.size());
        *keyLength = static_cast<int32_t>(key.size());
    });
}

ZT_EXPORT int InitCipher(const char* cipherName, const void* key, const void* iv, int encrypt,
                         ZtCipherContext** context) {
    return Guard("InitCipher", [&] {
        Require(key, "InitCipher", "key");
        Require(context, "InitCipher", "context");
        if (encrypt != 0 && encrypt != 1) throw EInvalidArgument(Format(ZtText::InvalidArgument, {"InitCipher", "encrypt"}));
        EvpCipherCtxPtr ctx(Made(EVP_CIPHER_CTX_new()));
        const EVP_CIPHER* cipher = CipherByName(cipherName);
        if (EVP_CIPHER_get_iv_length(cipher) > 0) Require(iv, "InitCipher", "iv");
        if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, static_cast<const unsigned char*>(key),
                              static_cast<const unsigned char*>(iv), encrypt) != 1) {
            RaiseOpenSSL();
        }
        *context = Adopt(std::make_unique<ZtCipherContext>(std::move(ctx)));
    });
}

ZT_EXPORT int CipherData(ZtCipherContext* context, const void* input, int32_t inputLength, int final,
                         void* output, int32_t* outputLength) {
    return Guard("CipherData", [&] {
        ZtCipherContext& c = Lookup<ZtCipherContext>(context, "CipherData", "context");
        RequireData(input, inputLength, "CipherData", "inputLength");
        Require(output, "CipherData", "output");
        Require(outputLength, "CipherData", "outputLength");
        if (c.Finished) throw EInvalidHandle(Format(ZtText::InvalidHandle, {"CipherData", "context"}));
        const int block = EVP_CIPHER_CTX_get_block_size(c.Ctx.get());
        RequireCapacity(outputLength, static_cast<std::int64_t>(inputLength) + block + (final ? block : 0),
                        "CipherData");
        auto* out = static_cast<unsigned char*>(output);
        int produced = 0, tail = 0;
        if (EVP_CipherUpdate(c.Ctx.get(), out, &produced, static_cast<const unsigned char*>(input), inputLength) != 1) {
            *outputLength = 0;
            RaiseOpenSSL();
        }
        *outputLength = produced;
        if (final) {
            c.Finished = true;
            if (EVP_CipherFinal_ex(c.Ctx.get(), out + produced, &tail) != 1) RaiseOpenSSL();
            *outputLength = produced + tail;
        }
    });
}

ZT_EXPORT int DoneCipher(ZtCipherContext* context) {
    return Guard("DoneCipher", [&] { ReleaseHandle(context, HandleKind::Cipher, "DoneCipher"); });
}
