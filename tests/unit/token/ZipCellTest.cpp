#include "token/ZipCell.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/Streams.h"

namespace brelo {
namespace {

ByteString DataFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(TOKEN_DATA_DIR) / name, std::ios::binary);
    return ByteString(std::istreambuf_iterator<char>(in), {});
}

ByteString Unpack(const ByteString& cell) {
    TMemoryStream stream(cell);
    return ZipCell::Decompress(stream)->Bytes();
}

ByteString Pack(const ByteString& block) {
    TMemoryStream stream(block);
    return ZipCell::Compress(stream)->Bytes();
}

TEST(ZipCell, CompressWritesOneDeflatedEntryNamedStarThatReadsBack) {
    const ByteString block = ByteString(40, '\x01') + ByteString(2000, 'A');
    const ByteString cell = Pack(block);
    ASSERT_LT(cell.size(), block.size());
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(cell.data(), cell.size(), 0, &error);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(zip_get_num_entries(archive, 0), 1);
    zip_stat_t st;
    ASSERT_EQ(zip_stat_index(archive, 0, 0, &st), 0);
    EXPECT_STREQ(st.name, "*");
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
    EXPECT_EQ(st.size, block.size());
    zip_discard(archive);
    EXPECT_EQ(Unpack(cell), block);
}

TEST(ZipCell, ArchiveOfAnotherWriterReads) {
    EXPECT_EQ(Unpack(DataFile("other_writer.zip")), DataFile("other_writer_block.bin"));
}

TEST(ZipCell, CellStartingWithTwoZeroBytesIsReturnedAsItIs) {
    const ByteString cells[] = {ByteString(64, '\0'), ByteString("\x00\x00" "PK\x03\x04 not unpacked", 20),
                                ByteString(1, 'P'), ByteString()};
    for (const ByteString& cell : cells) {
        EXPECT_EQ(Unpack(cell), cell);
    }
}

TEST(ZipCell, DamagedOrForeignArchivesAreRefused) {
    ByteString truncated = Pack(ByteString(500, 'q'));
    truncated.resize(truncated.size() / 2);
    ByteString flipped = Pack(ByteString(500, 'q'));
    flipped[flipped.size() / 3] ^= 0x55;
    const ByteString cases[] = {truncated, "PK but nothing else", flipped};
    for (const ByteString& cell : cases) {
        EXPECT_THROW(Unpack(cell), ZipCell::EZipCellError);
    }
}

TEST(ZipCell, ArchiveWithoutTheStarEntryIsRefused) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_source_keep(target);
    static const char text[] = "block";
    zip_file_add(archive, "keys", zip_source_buffer(archive, text, 5, 0), 0);
    ASSERT_EQ(zip_close(archive), 0);
    zip_source_open(target);
    zip_source_seek(target, 0, SEEK_END);
    ByteString cell(static_cast<std::size_t>(zip_source_tell(target)), '\0');
    zip_source_seek(target, 0, SEEK_SET);
    zip_source_read(target, cell.data(), cell.size());
    zip_source_close(target);
    zip_source_free(target);
    EXPECT_THROW(Unpack(cell), ZipCell::EZipCellError);
}

TEST(ZipCell, ExpansionBeyondTheBoundIsRefused) {
    const ByteString bomb = Pack(ByteString(ZipCell::MaxExpanded + 1, '\0') + "x");
    EXPECT_LT(bomb.size(), 4096u);
    EXPECT_THROW(Unpack(bomb), ZipCell::EZipCellError);
    const ByteString largest = ByteString(ZipCell::MaxExpanded - 1, '\0') + "x";
    EXPECT_EQ(Unpack(Pack(largest)).size(), largest.size());
}

}  // namespace
}  // namespace brelo

namespace brelo {
namespace {

TEST(ZipCell, FuzzCorpusUnpacksOrFailsCleanly) {
    const std::filesystem::path dir = std::filesystem::path(TOKEN_CORPUS_DIR) / "zip_cell";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(file.path(), std::ios::binary);
        TMemoryStream cell(ByteString(std::istreambuf_iterator<char>(in), {}));
        try {
            EXPECT_LE(ZipCell::Decompress(cell)->Size(), ZipCell::MaxExpanded);
        } catch (const EStreamError&) {
        }
    }
}

}  // namespace
}  // namespace brelo
