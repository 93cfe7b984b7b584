// The one error mapper of the C interface: which class becomes which result code, what the
// last-error record and DescribeOpenSSLError keep, and that nothing escapes.
#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/evperr.h>
#include <openssl/pemerr.h>

#include <stdexcept>

#include "ztcrypto/Boundary.h"

using namespace brelo;
using namespace brelo::ztcrypto;

namespace {

template <typename E>
int Fail(E e) {
    return Guard("Test", [&] { throw e; });
}

std::string Describe() {
    uint32_t size = 0;
    EXPECT_EQ(DescribeOpenSSLError(nullptr, &size), ZT_OK);
    if (size == 0) return "<none>";
    std::string text(size, '\0');
    EXPECT_EQ(DescribeOpenSSLError(text.data(), &size), ZT_OK);
    text.resize(size - 1);
    return text;
}

}  // namespace

TEST(ZtcryptoBoundary, ClassesBecomeResultCodes) {
    EXPECT_EQ(Fail(Exception("plain")), ZT_E_FAILURE);
    EXPECT_EQ(Fail(EZTCryptoError("crypto")), ZT_E_CRYPTO);
    EXPECT_EQ(Fail(EVerifyCertException("centre", 1)), ZT_E_VERIFY_CERT);
    EXPECT_EQ(ZtGetLastErrorCode(), 1);
    EXPECT_EQ(Fail(ECertInvalidPeriod("expired", 3)), ZT_E_VERIFY_CERT);
    EXPECT_EQ(ZtGetLastErrorCode(), 3);
    EXPECT_EQ(Fail(EInvalidHandle("h")), ZT_E_INVALID_HANDLE);
    EXPECT_EQ(Fail(EInvalidArgument("a")), ZT_E_INVALID_ARGUMENT);
    EXPECT_EQ(Fail(EBufferTooSmall("Test", 10)), ZT_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(Fail(EEncodingError("e")), ZT_E_ENCODING);
    EXPECT_EQ(Fail(EFOpenError("f")), ZT_E_STREAM);
    EXPECT_EQ(Fail(std::bad_alloc()), ZT_E_OUT_OF_MEMORY);
    EXPECT_EQ(Fail(std::runtime_error("x")), ZT_E_INTERNAL);
    EXPECT_EQ(Fail(42), ZT_E_INTERNAL);
    EXPECT_EQ(ZtGetLastError(), ZT_E_INTERNAL);
    EXPECT_EQ(Guard("Test", [] {}), ZT_OK);
    EXPECT_EQ(ZtGetLastError(), ZT_E_INTERNAL) << "a success leaves the record";
}

TEST(ZtcryptoBoundary, OpenSSLQueueIsCapturedInOrderAndEmptied) {
    const int rc = Guard("Test", [] {
        ERR_raise(ERR_LIB_EVP, EVP_R_BAD_DECRYPT);
        ERR_raise(ERR_LIB_PEM, PEM_R_BAD_BASE64_DECODE);
        ERR_raise_data(ERR_LIB_PEM, PEM_R_NO_START_LINE, "file %s", "x.key");
        CheckOpenSSLError("Контекст");
    });
    EXPECT_EQ(rc, ZT_E_OPENSSL);
    EXPECT_EQ(ERR_peek_error(), 0u);
    ASSERT_EQ(ZtGetLastErrorEntryCount(), 3);
    uint32_t code = 0;
    char line[512];
    int32_t size = sizeof line;
    ASSERT_EQ(ZtGetLastErrorEntry(2, &code, line, &size), ZT_OK);
    EXPECT_EQ(ERR_GET_REASON(code), PEM_R_NO_START_LINE);
    EXPECT_NE(std::string(line).find("; file x.key"), std::string::npos) << line;
    EXPECT_EQ(std::string(line).rfind("Ошибка: ", 0), 0u) << line;
    EXPECT_EQ(Describe(),
              "Контекст\r\nУказан неверный пароль для секретного ключа.\r\nНарушена структура.\r\n"
              "Нарушена структура. Нет заголовка.");
}

TEST(ZtcryptoBoundary, DescriptionOfUnknownCodesIsTheWholeMessage) {
    Guard("Test", [] {
        ERR_raise(ERR_LIB_X509, ERR_R_MALLOC_FAILURE);
        CheckOpenSSLError();
    });
    int32_t size = 0;
    ZtGetLastErrorMessage(nullptr, &size);
    std::string message(static_cast<std::size_t>(size), '\0');
    ZtGetLastErrorMessage(message.data(), &size);
    message.resize(static_cast<std::size_t>(size - 1));
    // The entry contributes the whole message, line break included; only the joining one is cut.
    EXPECT_EQ(Describe(), message);
}

TEST(ZtcryptoBoundary, DescribeSizes) {
    Guard("Test", [] { throw EOpenSSLError("", {}); });
    EXPECT_EQ(Describe(), "") << "no entries, no context: the empty text";
    Guard("Test", [] { throw EOpenSSLError("Тридцать символов текста.", {}); });
    char buffer[10] = "untouched";
    uint32_t size = sizeof buffer;
    EXPECT_EQ(DescribeOpenSSLError(buffer, &size), ZT_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, std::string("Тридцать символов текста.").size() + 1);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(ZtGetLastError(), ZT_E_OPENSSL) << "describing does not change the record";
    EXPECT_EQ(DescribeOpenSSLError(buffer, nullptr), ZT_E_INVALID_ARGUMENT);
    Guard("Test", [] { throw Exception("not OpenSSL"); });
    EXPECT_EQ(Describe(), "<none>");
}

TEST(ZtcryptoBoundary, CopyOutReportsTheSizeNeeded) {
    char buffer[4];
    int32_t size = sizeof buffer;
    EXPECT_THROW(CopyOut("Test", "four", buffer, &size), EBufferTooSmall);
    EXPECT_EQ(size, 5);
    size = 5;
    char enough[5];
    CopyOut("Test", "four", enough, &size);
    EXPECT_STREQ(enough, "four");
}
