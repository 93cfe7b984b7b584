// Error capture: every queued entry becomes part of one exception, and the key-reading
// conditions become the user texts and codes the wizard and ztcrypto show.

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>
#include <openssl/asn1err.h>
#include <openssl/err.h>
#include <openssl/evperr.h>
#include <openssl/pemerr.h>
#include <openssl/proverr.h>

#include "openssl/OpenSSLHelp.h"

namespace brelo {
namespace {

struct TRaised {
    int Library;
    int Reason;
};

EOpenSSLError Capture(std::initializer_list<TRaised> entries, const std::string& context = {}) {
    ERR_clear_error();
    for (const TRaised& e : entries) {
        ERR_raise(e.Library, e.Reason);
    }
    try {
        CheckOpenSSLError(context);
    } catch (const EOpenSSLError& e) {
        return e;
    }
    throw std::runtime_error("nothing captured");
}

class OpenSSLHelpTest : public ::testing::Test {
protected:
    void TearDown() override { SetOpenSSLTextProc(nullptr); }
};

TEST_F(OpenSSLHelpTest, EmptyQueueIsQuiet) {
    ERR_clear_error();
    EXPECT_NO_THROW(CheckOpenSSLError("context"));
}

TEST_F(OpenSSLHelpTest, CapturesEveryEntryInQueueOrderAndEmptiesTheQueue) {
    const EOpenSSLError e = Capture({{ERR_LIB_PEM, PEM_R_NO_START_LINE},
                                     {ERR_LIB_EVP, EVP_R_BAD_DECRYPT},
                                     {ERR_LIB_ASN1, ASN1_R_DECODE_ERROR}},
                                    "OnReadCert");
    ASSERT_EQ(e.ErrorCount(), 3);
    EXPECT_EQ(e.Error(0).Library(), ERR_LIB_PEM);
    EXPECT_EQ(e.Error(1).Library(), ERR_LIB_EVP);
    EXPECT_EQ(e.Error(2).Reason(), ASN1_R_DECODE_ERROR);
    EXPECT_EQ(e.ContextText, "OnReadCert");
    // Untranslated, the line format is the bare key: context line and three key lines.
    EXPECT_EQ(e.Message(), "OnReadCert\r\nFuncErrorFormat\r\nFuncErrorFormat\r\nFuncErrorFormat\r\n");
    EXPECT_EQ(ERR_peek_error(), 0UL);
}

TEST_F(OpenSSLHelpTest, EntryTextsComeFromOpenSSLWithTheRecordedData) {
    ERR_clear_error();
    ERR_raise_data(ERR_LIB_PEM, PEM_R_BAD_END_LINE, "line %d", 7);
    try {
        CheckOpenSSLError();
        FAIL();
    } catch (const EOpenSSLError& e) {
        ASSERT_EQ(e.ErrorCount(), 1);
        EXPECT_EQ(e.Error(0).LibText, "PEM routines");
        EXPECT_EQ(e.Error(0).ReasonText, "bad end line; line 7");
        EXPECT_FALSE(e.Error(0).FuncText.empty());
    }
}

TEST_F(OpenSSLHelpTest, MissingTextsAreNumberedAndSystemReasonsUseTheSystemText) {
    UseLibraryOpenSSLTexts();
    const EOpenSSLError unknown = Capture({{ERR_LIB_USER, 77}});
    EXPECT_EQ(unknown.Error(0).LibText, "Библиотека 128");
    EXPECT_EQ(unknown.Error(0).ReasonText, "Код 77");
    const EOpenSSLError system = Capture({{ERR_LIB_SYS, ENOENT}});
    EXPECT_NE(system.Error(0).ReasonText.find(std::strerror(ENOENT)), std::string::npos);
}

struct TDescribeCase {
    const char* Name;
    std::vector<TRaised> Entries;
    std::string Context;
    std::string Text;  // "*" stands for the whole exception message
    int LastCode;
};

class DescribeTest : public OpenSSLHelpTest, public ::testing::WithParamInterface<TDescribeCase> {};

TEST_P(DescribeTest, GivesTheUserTextAndTheClassOfTheLastEntry) {
    const TDescribeCase& c = GetParam();
    ERR_clear_error();
    for (const TRaised& e : c.Entries) {
        ERR_raise(e.Library, e.Reason);
    }
    try {
        CheckOpenSSLError(c.Context);
        FAIL();
    } catch (const EOpenSSLError& e) {
        std::uint32_t size = 0;
        DescribeOpenSSLError(e, nullptr, size);
        std::string text(size, '#');
        DescribeOpenSSLError(e, text.data(), size);
        text.resize(size - 1);
        EXPECT_EQ(text, c.Text == "*" ? e.Message() : c.Text);
        EXPECT_EQ(LastKeyErrorCode(), c.LastCode);
    }
}

const TDescribeCase KeyConditionsCases[] = {
        TDescribeCase{"EvpBadDecrypt", {{ERR_LIB_EVP, EVP_R_BAD_DECRYPT}}, "", "WrongPassw", 39},
        // OpenSSL 3 reports a wrong password from the provider and again from PEM: one line.
        TDescribeCase{"WrongPasswordTwoLayers",
                      {{ERR_LIB_PROV, PROV_R_BAD_DECRYPT}, {ERR_LIB_PEM, PEM_R_BAD_DECRYPT}},
                      "",
                      "WrongPassw",
                      39},
        TDescribeCase{"BadIvIsHeader", {{ERR_LIB_PEM, PEM_R_BAD_IV_CHARS}}, "", "BadHeader", 41},
        TDescribeCase{"BadBase64", {{ERR_LIB_PEM, PEM_R_BAD_BASE64_DECODE}}, "", "BadStruct", 40},
        TDescribeCase{"BadEndLine", {{ERR_LIB_PEM, PEM_R_BAD_END_LINE}}, "", "BadStruct", 40},
        TDescribeCase{"NoStartLine", {{ERR_LIB_PEM, PEM_R_NO_START_LINE}}, "", "BadStructNoHeader", 42},
        TDescribeCase{"OtherCodeGivesWholeMessage", {{ERR_LIB_X509, 100}}, "", "*", 42},
        // The PEM-level ASN.1 failure has no text: its empty line goes with the last line break.
        TDescribeCase{"ContextThenWrongPasswThenEmpty",
                      {{ERR_LIB_ASN1, ASN1_R_DECODE_ERROR}, {ERR_LIB_PEM, ERR_R_ASN1_LIB}},
                      "T",
                      "T\r\nWrongPassw\r\n",
                      42}};

std::string CaseName(const ::testing::TestParamInfo<TDescribeCase>& param) { return param.param.Name; }

INSTANTIATE_TEST_SUITE_P(KeyConditions, DescribeTest, ::testing::ValuesIn(KeyConditionsCases), CaseName);

TEST_F(OpenSSLHelpTest, SmallBufferIsLeftAloneAndSizeTellsTheRoomNeeded) {
    const EOpenSSLError e("%s", {std::string(30, 'x')});
    char buffer[10];
    std::memset(buffer, '#', sizeof buffer);
    std::uint32_t size = 10;
    DescribeOpenSSLError(e, buffer, size);
    EXPECT_EQ(size, 31u);
    EXPECT_EQ(std::string(buffer, 10), std::string(10, '#'));
}

TEST_F(OpenSSLHelpTest, OtherExceptionsAreTheirPlainMessage) {
    const Exception plain("plain text");
    std::uint32_t size = 99;
    DescribeOpenSSLError(plain, nullptr, size);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(OpenSSLErrorText(plain), "plain text");
}

TEST_F(OpenSSLHelpTest, ErrorWithoutEntriesIsDescribedByItsMessage) {
    const EOpenSSLError e("CertNoError: %s", {"too long"});
    EXPECT_EQ(e.ErrorCount(), 0);
    EXPECT_EQ(OpenSSLErrorText(e), "CertNoError: too long");
}

TEST_F(OpenSSLHelpTest, LibraryTextsChooseTheWrongPasswordSentenceByCondition) {
    UseLibraryOpenSSLTexts();
    EXPECT_EQ(OpenSSLErrorText(Capture({{ERR_LIB_EVP, EVP_R_BAD_DECRYPT}})),
              "Указан неверный пароль для секретного ключа.");
    EXPECT_EQ(OpenSSLErrorText(Capture({{ERR_LIB_ASN1, ASN1_R_DECODE_ERROR}})), "Указан неверный пароль.");
    EXPECT_EQ(OpenSSLErrorText(Capture({{ERR_LIB_PEM, PEM_R_NO_START_LINE}})), "Нарушена структура. Нет заголовка.");
    const EOpenSSLError other = Capture({{ERR_LIB_USER, 5}});
    EXPECT_EQ(other.Message(), "Ошибка: Код 5 (в функции \"" + other.Error(0).FuncText +
                                   "\" библиотеки \"Библиотека 128\")\r\n");
}

}  // namespace
}  // namespace brelo
