#pragma once
// TZtCifer: one GOST R 34.10-94 key pair (or half of one) and its files. The private key file
// is the Base64 text of [u32 N][N bytes of the private block enciphered by GOST 28147-89][8-byte
// MAC], keyed by the GOST R 34.11-94 hash of the password's Windows-1251 bytes; the public key
// file is the Base64 text of the public block. All arithmetic and ciphering is the provider's.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ByteString.h"
#include "core/Exceptions.h"
#include "core/Streams.h"
#include "gost/ZTCiferHead.h"

namespace brelo {

static_assert(std::endian::native == std::endian::little, "key blocks are stored little-endian");

/// Every failure of the engine; the message is a message key through GetMessageText.
BRELO_EXCEPTION_CLASS(ECiferError, Exception);

#pragma pack(push, 1)
/// One number as the provider gives it: Length meaningful bytes at the start of Data.
struct TCiferNumber {
    std::uint16_t Length;
    std::uint8_t Data[128];
};
/// p, q, a and then y (public block) or x (private block).
struct TCiferKeyBlock {
    TCiferNumber P, Q, A, Key;
};
#pragma pack(pop)
static_assert(sizeof(TCiferNumber) == 130 && sizeof(TCiferKeyBlock) == 520);

class TZtCifer {
public:
    static constexpr std::size_t kBlockSize = sizeof(TCiferKeyBlock);
    static constexpr std::size_t kParamsSize = 3 * sizeof(TCiferNumber);  // p, q, a
    static constexpr std::size_t kSignatureSize = 64;

    TZtCifer();
    ~TZtCifer();
    TZtCifer(const TZtCifer&) = delete;
    TZtCifer& operator=(const TZtCifer&) = delete;

    /// New parameters and key pair into both blocks.
    void GenerateKeyPair();

    void LoadPrivateKeyFromFile(const std::string& fileName, std::string_view password);
    void LoadPrivateKeyFromString(const ByteString& text, std::string_view password);
    /// Decodes and opens the container; a failure leaves the key held before.
    void LoadPrivateKeyFromStream(TStream& stream, std::string_view password);
    /// Writes the private key file's text into the stream from position 0 (and cuts it there).
    void SavePrivateKeyToStream(TStream& stream, std::string_view password);

    void LoadPublicKeyFromFile(const std::string& fileName);
    void LoadPublicKeyFromString(const ByteString& text);
    void LoadPublicKeyFromStream(TStream& stream);
    /// Replaces the file as a whole (never leaves a half-written file).
    void SavePublicKeyToFile(const std::string& fileName);
    /// Writes the public block at the stream's position, then Base64-encodes the whole stream.
    void SavePublicKeyToStream(TStream& stream);

    bool CheckPrivateKey();  ///< true, or "PrivKeyInvalid"
    bool CheckPublicKey();   ///< true, or "PubKeyInvalid"
    /// Signs and verifies "dummy"; "KeyAndCertNotPair" when x and y do not belong together.
    void CheckKeyPair();

    void SignBuffer(const void* data, std::size_t size, bool base64, ByteString& signature);
    void SignString(const ByteString& text, bool base64, ByteString& signature);
    /// true, or a failure ("SignInvalid" for a signature that does not match): never false.
    bool VerifyBuffer(const void* data, std::size_t size, const ByteString& signature, bool base64);
    bool VerifyString(const ByteString& text, const ByteString& signature, bool base64);

    ByteString GetPublicKeyBlock() const;
    std::string GetProviderVersion();
    void CheckPrivateLoaded() const;
    void CheckPublicLoaded() const;

    bool PrivateLoaded() const { return FPrivateLoaded; }
    bool PublicLoaded() const { return FPublicLoaded; }
    const TCiferKeyBlock& PublicBlock() const { return FPublicBlock; }
    const TCiferKeyBlock& PrivateBlock() const { return FPrivateBlock; }

private:
    void SetProviderParameters(TCspHandle context);

    TCiferKeyBlock FPublicBlock;
    TCiferKeyBlock FPrivateBlock;
    bool FPrivateLoaded = false;
    bool FPublicLoaded = false;
    std::string FProviderVersion;
};

}  // namespace brelo
