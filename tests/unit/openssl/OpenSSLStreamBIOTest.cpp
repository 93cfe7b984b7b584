// The stream bridge: OpenSSL reads and writes the system's streams through it.

#include <gtest/gtest.h>
#include <openssl/bio.h>

#include "core/Exceptions.h"
#include "openssl/OpenSSLStreamBIO.h"

namespace brelo {
namespace {

TEST(StreamBIOTest, GetsStopsAtSizeOrAfterLineFeed) {
    struct Case {
        std::string Content;
        std::string Expected;
    };
    for (const Case& c : {Case{"abcdefg", "abcd"}, Case{"ab\ncd", "ab\n"}, Case{"", ""}}) {
        TMemoryStream stream(c.Content);
        BioPtr bio = NewStreamBIO(stream);
        char buffer[5] = {'#', '#', '#', '#', '#'};
        const int n = BIO_gets(bio.get(), buffer, 5);
        EXPECT_EQ(n, static_cast<int>(c.Expected.size())) << c.Content;
        EXPECT_EQ(std::string(buffer), c.Expected);
    }
}

TEST(StreamBIOTest, ReadWritePutsAndControlsWorkOnTheStream) {
    TMemoryStream stream;
    BioPtr bio = NewStreamBIO(stream);
    EXPECT_EQ(BIO_write(bio.get(), "abc", 3), 3);
    EXPECT_EQ(BIO_puts(bio.get(), "de"), 2);
    EXPECT_EQ(stream.Bytes(), "abcde");
    EXPECT_EQ(BIO_eof(bio.get()), 1);
    EXPECT_EQ(BIO_reset(bio.get()), 1);
    EXPECT_EQ(BIO_eof(bio.get()), 0);
    char buffer[8] = {};
    EXPECT_EQ(BIO_read(bio.get(), buffer, 8), 5);
    EXPECT_EQ(BIO_seek(bio.get(), 1), 1);
    EXPECT_EQ(BIO_tell(bio.get()), 1);
    EXPECT_EQ(BIO_get_close(bio.get()), 0);
    EXPECT_EQ(BIO_flush(bio.get()), 0);
}

TEST(StreamBIOTest, BioWithoutStreamMovesNothing) {
    BioPtr bio(BIO_new(StreamBIOMethod()));
    char buffer[4];
    EXPECT_LE(BIO_write(bio.get(), "ab", 2), 0);
    EXPECT_LE(BIO_read(bio.get(), buffer, 4), 0);
}

// A stream that records its destruction and fails every read.
class TProbeStream : public TMemoryStream {
public:
    explicit TProbeStream(bool* destroyed) : FDestroyed(destroyed) {}
    ~TProbeStream() override { *FDestroyed = true; }
    std::int64_t Read(void*, std::int64_t) override { throw EReadError("disk gone"); }

private:
    bool* FDestroyed;
};

TEST(StreamBIOTest, StreamFailureBecomesAnIoErrorAndTheBioNeverFreesABorrowedStream) {
    bool destroyed = false;
    {
        TProbeStream stream(&destroyed);
        {
            BioPtr bio = NewStreamBIO(stream);
            char buffer[4];
            EXPECT_EQ(BIO_read(bio.get(), buffer, 4), -1);
        }
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace brelo
