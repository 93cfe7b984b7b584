#pragma once
// A customer's private key as stored, with the password it was loaded with.

#include <cstddef>
#include <memory>
#include <string>

#include "core/ByteString.h"
#include "core/Streams.h"

namespace brelo {

class TCustomCertificate;
class TCustomKey;

/// The class-level operations of a key class: what a class reference offers before any key
/// object exists (file naming, token entry, creation).
class TCustomKeyClass {
public:
    virtual ~TCustomKeyClass() = default;
    virtual std::string FileExtension() const = 0;
    /// BaseName with its extension replaced by FileExtension (A.B gives A + extension).
    virtual std::string FileName(const std::string& baseName) const;
    virtual int TokenEntry() const = 0;
    /// A new key with an empty FData (the parameterless constructor).
    virtual std::unique_ptr<TCustomKey> Create() const = 0;
};

/// Key class of K, taken from K's static FileExtension() and TokenEntry().
template <class K>
class TKeyClassOf final : public TCustomKeyClass {
public:
    std::string FileExtension() const override { return K::FileExtension(); }
    int TokenEntry() const override { return K::TokenEntry(); }
    std::unique_ptr<TCustomKey> Create() const override { return std::make_unique<K>(); }
};

class TCustomKey {
public:
    /// An empty key: FData holds no bytes.
    TCustomKey();
    /// A copy of all of Stream (which must hold at least one byte) with Password; the password
    /// is not verified here.
    TCustomKey(TStream& stream, const SecureString& password);
    virtual ~TCustomKey();
    TCustomKey(const TCustomKey&) = delete;
    TCustomKey& operator=(const TCustomKey&) = delete;

    // Virtual operations, in their declaration order.

    /// Decrypts a package addressed to this key's owner.
    virtual void DecryptStream(TStream& inStream, TStream& outStream, TCustomCertificate& cert) = 0;
    /// Writes the key protected by Password; the key remembers Password.
    virtual void SaveEncrypted(TStream& stream, const SecureString& password) = 0;
    /// EFOpenError "FileNotFoundErrorFmt" when the file does not exist; else LoadFromStream.
    virtual void LoadFromFile(const std::string& fileName, const SecureString& password);
    /// Copies all of Stream (from its start) into FData, keeps Password, then Check.
    virtual void LoadFromStream(TStream& stream, const SecureString& password);
    /// Proves that FPassword opens FData; raises the format's error otherwise.
    virtual void Check() = 0;
    /// Signature over a byte range; Base64 text when AsBase64.
    virtual ByteString Sign(const void* data, std::size_t size, bool asBase64) = 0;
    /// Private-key decryption of a short text.
    virtual SecureString DecryptText(const ByteString& text, bool isBase64) = 0;

    // Concrete operations.

    /// Writes FData to the file (made writable first); the file is replaced as a whole.
    void SaveToFile(const std::string& fileName);
    /// Copies all of FData to Stream at Stream's position.
    void SaveToStream(TStream& stream);
    void LoadFromText(const ByteString& text, const SecureString& password);
    /// SaveEncrypted, then replaces the file as a whole with the result.
    void SaveToFileEncrypted(const std::string& fileName, const SecureString& password);
    /// Sign over all of Data's bytes.
    ByteString SignStream(TStream& data, bool asBase64);
    ByteString SignText(const ByteString& text, bool asBase64);

    TMemoryStream& Data() { return *FData; }
    const SecureString& Password() const { return FPassword; }
    /// The file the key was last loaded from, empty when none.
    const std::string& GetFileName() const { return FFileName; }

protected:
    std::unique_ptr<TMemoryStream> FData;
    SecureString FPassword;
    std::string FFileName;
};

}  // namespace brelo
