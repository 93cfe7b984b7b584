#include "core/Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "core/Exceptions.h"

namespace brelo {

void SecureWipe(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0) {
        OPENSSL_cleanse(data, size);
    }
}

void WipeString(std::string& s) noexcept {
    SecureWipe(s.data(), s.capacity());
    s.clear();
}

std::string Base64Encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(n);
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::string out(text.size() / 4 * 3 + 1, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) {
        return false;
    }
    // EVP_DecodeBlock counts the "=" fill as zero bytes; drop them.
    std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i) {
        --size;
    }
    out.resize(size);
    bytes = std::move(out);
    return true;
}

namespace {
std::string Digest(const EVP_MD* md, std::string_view bytes) {
    unsigned char buf[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), buf, &len, md, nullptr) != 1) {
        throw Exception("Digest failed");
    }
    return std::string(reinterpret_cast<char*>(buf), len);
}
}  // namespace

std::string Md5(std::string_view bytes) { return Digest(EVP_md5(), bytes); }

std::string Sha1(std::string_view bytes) { return Digest(EVP_sha1(), bytes); }

std::string HexLower(std::string_view bytes) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

}  // namespace brelo
