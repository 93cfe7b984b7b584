// The binding: which piece of the library is missing, what a missing piece does to a token,
// and the description of the library file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <string>
#include <vector>

#include "FakeNativeLibrary.h"
#include "brelo_test/SharedLibrary.h"
#include "token/nkiTokenAuthor.h"

namespace brelo {
namespace {

TEST(NativeBinding, StatusNamesTheFirstMissingPiece) {
    struct Case {
        int missing;  // 0: none
        bool available;
        const char* text;
    };
    const Case cases[] = {{0, true, ""},
                          {1, false, "PROC 1 NOT FOUND!"},
                          {23, false, "PROC 23 NOT FOUND!"},
                          {27, false, "PROC 27 NOT FOUND!"}};
    for (const Case& c : cases) {
        TNkiEntryPoints entries = test::FakeEntries();
        if (c.missing == 23)
            entries.ChangePINEx = nullptr;
        if (c.missing == 1)
            entries.GetVersion = nullptr;
        if (c.missing == 27)
            entries.GetFileSizeEx = nullptr;
        const TNativeLibrary library(entries);
        std::string text = "stale";
        EXPECT_EQ(library.Status(text), c.available) << c.missing;
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(library.Available(), c.available);
    }
}

// The binding resolves, position by position, the names the library's version script exports.
TEST(NativeBinding, NamesFollowTheVersionScript) {
    std::vector<std::string> bound;
    for (int n = 1; n <= TNkiEntryPoints::Count; ++n)
        bound.emplace_back(TNkiEntryPoints::NameOf(n));
    EXPECT_EQ(bound, test::VersionScriptGlobals(NKICNT_MAP));
    EXPECT_STREQ(TNkiEntryPoints::NameOf(0), "");
    EXPECT_STREQ(TNkiEntryPoints::NameOf(TNkiEntryPoints::Count + 1), "");
}

TEST(NativeBinding, LibraryFiles) {
    struct Case {
        const char* path;
        bool available;
        const char* text;
    };
    const Case cases[] = {{NKICNT_LIBRARY, true, ""},
                          {NKICNT_INCOMPLETE_LIBRARY, false, "PROC 23 NOT FOUND!"},
                          {"/nonexistent/libnkicnt.so", false, "LIBRARY NOT FOUND!"}};
    for (const Case& c : cases) {
        const TNativeLibrary library(c.path);
        std::string text;
        EXPECT_EQ(library.Status(text), c.available) << c.path;
        EXPECT_EQ(text, c.text) << c.path;
        if (!c.available) {
            EXPECT_EQ(library.Info(), "") << c.path;
        }
    }
}

TEST(NativeBinding, InfoDescribesTheLoadedFile) {
    const TNativeLibrary library(NKICNT_LIBRARY);
    struct stat st {};
    ASSERT_EQ(::stat(NKICNT_LIBRARY, &st), 0);
    std::tm modified{};
    gmtime_r(&st.st_mtime, &modified);
    const std::string info = library.Info();
    const std::string head =
        "Name: [" + std::string(NKICNT_LIBRARY) + "] Size: [" + std::to_string(st.st_size) + "]";
    EXPECT_EQ(info.rfind(head, 0), 0u) << info;
    const std::string mt = " MT: [" + std::to_string(modified.tm_year + 1900) + "-" +
                           std::to_string(modified.tm_mon + 1) + "-" +
                           std::to_string(modified.tm_mday) + "]";
    EXPECT_NE(info.find(mt), std::string::npos) << info;
    EXPECT_NE(info.find(" CT: ["), std::string::npos) << info;
    EXPECT_NE(info.find("AT: ["), std::string::npos) << info;
}

TEST(NativeBinding, TokenOnAnIncompleteLibraryDoesNothing) {
    test::ResetFakeNative();
    TNkiEntryPoints entries = test::FakeEntries();
    entries.ChangePINEx = nullptr;
    const TNativeLibrary library(entries);
    TnkiTokenAuthor token("Native 1", "", library);
    token.ReadUID();
    EXPECT_EQ(token.UID(), "");
    token.Open(SecureString("12345678"), true);
    EXPECT_FALSE(token.IsOpen());
    SecureString pin("p"), puk("k");
    token.Reinitialize(pin, puk, {}, {});
    EXPECT_EQ(pin, SecureString("p"));
    EXPECT_EQ(test::Fake().openSessions, 0);
    int reported = 0;
    TnkiTokenAuthor::EnumerateDevicesOf(library, [&](const std::string&, const std::string&,
                                                     const TnkiTokenClass&) { ++reported; });
    EXPECT_EQ(reported, 0);
}

TEST(NativeBinding, MissingEntryIsAFailureCodeNotACall) {
    const TNativeLibrary library(TNkiEntryPoints{});
    nkiHandle handle = 0;
    EXPECT_EQ(library.OpenSessionEx(handle, "x"), kNkiMissingEntry);
    std::string name = "stale";
    EXPECT_EQ(library.EnumDevices(1, name), kNkiMissingEntry);
    EXPECT_EQ(name, "");
    EXPECT_EQ(library.ErrorMsgLang(3), "");
}

}  // namespace
}  // namespace brelo
