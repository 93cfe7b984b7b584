#include "gost/ZtCiferNew.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/Crypto.h"
#include "core/Encoding.h"
#include "core/Messages.h"

namespace brelo {

namespace {

constexpr std::int32_t kModeEncrypt = 261, kModeDecrypt = 262;
constexpr std::int32_t kSignatureMismatch = -10011;

[[noreturn]] void Fail(const char* key) {
    RaiseKeyed<ECiferError>(key);
}

void CheckProviderResult(std::int32_t status) {
    if (status != 0)
        RaiseKeyed<ECiferError>("CommonError", {status});
}

/// A provider context of one family, destroyed when it goes out of scope. Close() destroys it
/// on the success path and reports a failing destruction; the destructor (failure path) cannot.
class TProviderContext {
public:
    using Destroy = std::int32_t (*)(TCspHandle);
    explicit TProviderContext(Destroy destroy) : FDestroy(destroy) {}
    ~TProviderContext() {
        if (FHandle)
            FDestroy(FHandle);
    }
    TProviderContext(const TProviderContext&) = delete;
    TProviderContext& operator=(const TProviderContext&) = delete;
    TCspHandle* Out() { return &FHandle; }
    TCspHandle Get() const { return FHandle; }
    void Close() { CheckProviderResult(FDestroy(std::exchange(FHandle, 0))); }

private:
    Destroy FDestroy;
    TCspHandle FHandle = 0;
};

struct TSignContext : TProviderContext {
    TSignContext() : TProviderContext(CSPG3410DestroyCtx) {
        CheckProviderResult(CSPG3410CreateCtx(Out()));
    }
};

struct THashContext : TProviderContext {
    THashContext() : TProviderContext(CSPG3411DestroyCtx) {
        CheckProviderResult(CSPG3411CreateCtx(Out(), 0));
    }
};

struct TCipherContext : TProviderContext {
    TCipherContext(std::int32_t mode, const std::uint8_t* key)
        : TProviderContext(CSPG28147DestroyCtx) {
        CheckProviderResult(CSPG28147CreateCtx(Out(), mode, 0, key));
    }
};

/// 32 bytes that are wiped when released: the cipher key made from a password.
struct TPasswordKey {
    std::uint8_t Bytes[32] = {};
    ~TPasswordKey() { SecureWipe(Bytes, sizeof Bytes); }
};

/// A plain std::string holding a secret; wiped when released.
struct TWipedString {
    std::string Value;
    ~TWipedString() { WipeString(Value); }
};

void UpdateHash(TCspHandle hash, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    constexpr std::size_t kChunk = 1u << 30;
    do {
        std::size_t n = std::min(size, kChunk);
        CheckProviderResult(CSPG3411Update(hash, bytes, std::uint32_t(n)));
        bytes += n;
        size -= n;
    } while (size > 0);
}

void HashIntoContext(TCspHandle hash, const void* data, std::size_t size) {
    Assert(hash != 0, "hash context");
    CheckProviderResult(CSPG3411Begin(hash));
    UpdateHash(hash, data, size);
    std::uint32_t length = 32;
    CheckProviderResult(CSPG3411Final(hash, nullptr, &length));
}

/// The GOST R 34.11-94 hash of the password's Windows-1251 bytes (no salt, no iterations).
void HashPassword(std::string_view password, TPasswordKey& key) {
    TWipedString cp1251{Utf8ToCp1251(password)};
    THashContext hash;
    CheckProviderResult(CSPG3411Begin(hash.Get()));
    UpdateHash(hash.Get(), cp1251.Value.data(), cp1251.Value.size());
    CheckProviderResult(CSPG3411Final(hash.Get(), key.Bytes, nullptr));
    hash.Close();
}

void PutU32(ByteString& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i)));
}

std::uint32_t GetU32(const ByteString& in) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t(std::uint8_t(in[i])) << (8 * i);
    return v;
}

/// [u32 N][N enciphered bytes][8-byte MAC of the plaintext].
ByteString EncryptKeyBlock(std::string_view password, const SecureBytes& plain) {
    SecureBytes work = plain;  // enciphered in place; the plaintext never sits in a plain string
    TPasswordKey key;
    HashPassword(password, key);
    TCipherContext cipher(kModeEncrypt, key.Bytes);
    CheckProviderResult(
        CSPG28147ProcessData(cipher.Get(), work.data(), std::uint32_t(work.size())));
    std::uint8_t imit[8] = {};
    CheckProviderResult(CSPG28147GetImit(cipher.Get(), imit, 0));
    cipher.Close();
    ByteString container;
    PutU32(container, std::uint32_t(work.size()));
    container.append(reinterpret_cast<const char*>(work.data()), work.size());
    container.append(reinterpret_cast<const char*>(imit), sizeof imit);
    return container;
}

/// The plaintext of a container; "PasswInvalid" when it is cut short or its MAC differs.
SecureBytes DecryptKeyBlock(std::string_view password, const ByteString& container) {
    if (container.size() < 4)
        Fail("PasswInvalid");
    const std::uint32_t n = GetU32(container);
    if (container.size() - 4 < n)
        Fail("PasswInvalid");
    SecureBytes plain(container.begin() + 4, container.begin() + 4 + n);
    const std::size_t macAt = 4 + std::size_t(n);
    const bool macComplete = container.size() - macAt >= 8;
    TPasswordKey key;
    HashPassword(password, key);
    TCipherContext cipher(kModeDecrypt, key.Bytes);
    CheckProviderResult(CSPG28147ProcessData(cipher.Get(), plain.data(), n));
    std::uint8_t imit[8] = {};
    CheckProviderResult(CSPG28147GetImit(cipher.Get(), imit, 0));
    if (!macComplete || CRYPTO_memcmp(imit, container.data() + macAt, 8) != 0)
        Fail("PasswInvalid");
    cipher.Close();
    return plain;
}

ByteString DecodeKeyText(const ByteString& text) {
    ByteString bytes;
    if (!Base64Decode(text, bytes))
        RaiseKeyed<ECiferError>("Base64", {""});
    return bytes;
}

/// A block read from a file is usable only if every number fits its 128 bytes.
bool NumbersFit(const TCiferKeyBlock& block) {
    for (const TCiferNumber* n : {&block.P, &block.Q, &block.A, &block.Key})
        if (n->Length > sizeof n->Data)
            return false;
    return true;
}

ByteString ReadWholeStream(TStream& stream) {
    stream.SetPosition(0);
    return stream.ReadRest();
}

void ReadProviderNumber(std::int32_t (*get)(TCspHandle, void*, std::uint32_t*), TCspHandle ctx,
                        TCiferNumber& number) {
    std::uint32_t length = sizeof number.Data;
    CheckProviderResult(get(ctx, number.Data, &length));
    if (length > sizeof number.Data)
        CheckProviderResult(-1);  // never from a sound provider
    number.Length = std::uint16_t(length);
}

std::int32_t SetParameters(TCspHandle ctx, const TCiferKeyBlock& block) {
    return CSPG3410SetParameters(ctx, block.P.Data, block.P.Length, block.Q.Data, block.Q.Length,
                                 block.A.Data, block.A.Length);
}

bool ProviderAccepts(bool loaded, const TCiferKeyBlock& block,
                     std::int32_t (*setKey)(TCspHandle, const void*, std::uint32_t)) {
    TSignContext ctx;
    bool ok = loaded && SetParameters(ctx.Get(), block) == 0 &&
              setKey(ctx.Get(), block.Key.Data, block.Key.Length) == 0;
    ctx.Close();
    return ok;
}

}  // namespace

TZtCifer::TZtCifer() {
    std::memset(&FPublicBlock, 0, sizeof FPublicBlock);
    std::memset(&FPrivateBlock, 0, sizeof FPrivateBlock);
}

TZtCifer::~TZtCifer() {
    SecureWipe(&FPrivateBlock, sizeof FPrivateBlock);
}

void TZtCifer::GenerateKeyPair() {
    FPrivateLoaded = FPublicLoaded = false;
    SecureWipe(&FPrivateBlock, sizeof FPrivateBlock);
    std::memset(&FPublicBlock, 0, sizeof FPublicBlock);
    TSignContext ctx;
    CheckProviderResult(CSPG3410SetDefaultByteOrder(ctx.Get(), 0));
    CheckProviderResult(CSPG3410GenerateParameters(ctx.Get(), 512));
    ReadProviderNumber(CSPG3410GetKeyP, ctx.Get(), FPublicBlock.P);
    ReadProviderNumber(CSPG3410GetKeyQ, ctx.Get(), FPublicBlock.Q);
    ReadProviderNumber(CSPG3410GetKeyA, ctx.Get(), FPublicBlock.A);
    std::memcpy(&FPrivateBlock, &FPublicBlock, kParamsSize);
    CheckProviderResult(CSPG3410GenerateXY(ctx.Get()));
    ReadProviderNumber(CSPG3410GetKeyX, ctx.Get(), FPrivateBlock.Key);
    ReadProviderNumber(CSPG3410GetKeyY, ctx.Get(), FPublicBlock.Key);
    FPrivateLoaded = FPublicLoaded = true;
    ctx.Close();
}

void TZtCifer::LoadPrivateKeyFromFile(const std::string& fileName, std::string_view password) {
    TMemoryStream stream(ReadFileBytes(fileName));
    LoadPrivateKeyFromStream(stream, password);
}

void TZtCifer::LoadPrivateKeyFromString(const ByteString& text, std::string_view password) {
    TMemoryStream stream(text);
    LoadPrivateKeyFromStream(stream, password);
}

void TZtCifer::LoadPrivateKeyFromStream(TStream& stream, std::string_view password) {
    SecureBytes plain = DecryptKeyBlock(password, DecodeKeyText(ReadWholeStream(stream)));
    if (plain.size() < kBlockSize)
        Fail("PrivKeyInvalid");
    TCiferKeyBlock block;
    std::memcpy(&block, plain.data(), kBlockSize);
    const bool fits = NumbersFit(block);
    if (fits)
        std::memcpy(&FPrivateBlock, &block, kBlockSize);
    SecureWipe(&block, sizeof block);
    if (!fits)
        Fail("PrivKeyInvalid");
    FPrivateLoaded = true;
}

void TZtCifer::SavePrivateKeyToStream(TStream& stream, std::string_view password) {
    const auto* raw = reinterpret_cast<const unsigned char*>(&FPrivateBlock);
    SecureBytes plain(raw, raw + kBlockSize);
    const ByteString text = Base64Encode(EncryptKeyBlock(password, plain));
    stream.SetPosition(0);
    stream.WriteBytes(text);
    stream.SetSize(std::int64_t(text.size()));
}

void TZtCifer::LoadPublicKeyFromFile(const std::string& fileName) {
    FPublicLoaded = false;
    TMemoryStream stream(ReadFileBytes(fileName));
    LoadPublicKeyFromStream(stream);
}

void TZtCifer::LoadPublicKeyFromString(const ByteString& text) {
    FPublicLoaded = false;
    TMemoryStream stream(text);
    LoadPublicKeyFromStream(stream);
}

void TZtCifer::LoadPublicKeyFromStream(TStream& stream) {
    FPublicLoaded = false;
    if (stream.Size() < std::int64_t(kBlockSize))
        Fail("PubKeyInvalid");
    const ByteString bytes = DecodeKeyText(ReadWholeStream(stream));
    if (bytes.size() < kBlockSize)
        Fail("PubKeyInvalid");
    TCiferKeyBlock block;
    std::memcpy(&block, bytes.data(), kBlockSize);
    if (!NumbersFit(block))
        Fail("PubKeyInvalid");
    FPublicBlock = block;
    FPublicLoaded = true;
}

void TZtCifer::SavePublicKeyToFile(const std::string& fileName) {
    CheckPublicLoaded();
    TMemoryStream stream;
    SavePublicKeyToStream(stream);
    WriteFileBytes(fileName, stream.Bytes());
}

void TZtCifer::SavePublicKeyToStream(TStream& stream) {
    CheckPublicLoaded();
    stream.WriteBuffer(&FPublicBlock, std::int64_t(kBlockSize));
    const ByteString text = Base64Encode(ReadWholeStream(stream));
    stream.SetPosition(0);
    stream.WriteBytes(text);
    stream.SetSize(std::int64_t(text.size()));
}

bool TZtCifer::CheckPrivateKey() {
    if (!ProviderAccepts(FPrivateLoaded, FPrivateBlock, CSPG3410SetKeyX))
        Fail("PrivKeyInvalid");
    return true;
}

bool TZtCifer::CheckPublicKey() {
    if (!ProviderAccepts(FPublicLoaded, FPublicBlock, CSPG3410SetKeyY))
        Fail("PubKeyInvalid");
    return true;
}

void TZtCifer::CheckKeyPair() {
    const ByteString text = "dummy";
    ByteString signature;
    SignString(text, true, signature);
    try {
        VerifyString(text, signature, true);
    } catch (const ECiferError&) {
        Fail("KeyAndCertNotPair");
    }
}

void TZtCifer::SetProviderParameters(TCspHandle context) {
    Assert(context != 0, "signature context");
    if (FPrivateLoaded)
        CheckProviderResult(SetParameters(context, FPrivateBlock));
    else if (FPublicLoaded)
        CheckProviderResult(SetParameters(context, FPublicBlock));
    else
        CheckPublicLoaded();
}

void TZtCifer::SignBuffer(const void* data, std::size_t size, bool base64, ByteString& signature) {
    CheckPrivateLoaded();
    TSignContext sign;
    SetProviderParameters(sign.Get());
    THashContext hash;
    HashIntoContext(hash.Get(), data, size);
    CheckProviderResult(
        CSPG3410SetKeyX(sign.Get(), FPrivateBlock.Key.Data, FPrivateBlock.Key.Length));
    ByteString raw(kSignatureSize, '\0');
    CheckProviderResult(CSPG3410Sign(sign.Get(), hash.Get(), raw.data(), 0));
    signature = base64 ? Base64Encode(raw) : raw;
    hash.Close();
    sign.Close();
}

void TZtCifer::SignString(const ByteString& text, bool base64, ByteString& signature) {
    SignBuffer(text.data(), text.size(), base64, signature);
}

bool TZtCifer::VerifyBuffer(const void* data, std::size_t size, const ByteString& signature,
                            bool base64) {
    CheckPublicLoaded();
    TSignContext sign;
    SetProviderParameters(sign.Get());
    THashContext hash;
    HashIntoContext(hash.Get(), data, size);
    ByteString raw = signature;
    if (base64 && !Base64Decode(signature, raw))
        Fail("SignInvalid");
    CheckProviderResult(
        CSPG3410SetKeyY(sign.Get(), FPublicBlock.Key.Data, FPublicBlock.Key.Length));
    const std::int32_t status = raw.size() == kSignatureSize
                                    ? CSPG3410VerifySign(sign.Get(), hash.Get(), raw.data())
                                    : kSignatureMismatch;
    if (status == kSignatureMismatch)
        Fail("SignInvalid");
    CheckProviderResult(status);
    hash.Close();
    sign.Close();
    return true;
}

bool TZtCifer::VerifyString(const ByteString& text, const ByteString& signature, bool base64) {
    return VerifyBuffer(text.data(), text.size(), signature, base64);
}

ByteString TZtCifer::GetPublicKeyBlock() const {
    return ByteString(reinterpret_cast<const char*>(&FPublicBlock), kBlockSize);
}

std::string TZtCifer::GetProviderVersion() {
    if (FProviderVersion.empty())
        FProviderVersion = GetGostProviderVersion();
    return FProviderVersion;
}

void TZtCifer::CheckPrivateLoaded() const {
    if (!FPrivateLoaded)
        Fail("PrivNotLoad");
}

void TZtCifer::CheckPublicLoaded() const {
    if (!FPublicLoaded)
        Fail("PubNotLoad");
}

}  // namespace brelo
