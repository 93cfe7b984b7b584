#include "token/TokenBlock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "token/nkiToken.h"

namespace brelo {
namespace {

ByteString Block(std::initializer_list<ByteString> entries) {
    TMemoryStream stream;
    for (const ByteString& e : entries) {
        TokenBlock::WriteEntryText(e, stream);
    }
    return stream.Bytes();
}

TEST(TokenBlock, OneShortEntrySerialisesToThirtyFourBytes) {
    TBreloUsbTokenFileDataHolder holder;
    holder.SetData(0, "AB");
    ByteString expected("\x02\x00" "AB", 4);
    for (int i = 1; i < 16; ++i) {
        expected += ByteString(2, '\0');
    }
    EXPECT_EQ(TokenBlock::Serialize(holder), expected);
}

TEST(TokenBlock, RoundTripKeepsAnyBytes) {
    TBreloUsbTokenFileDataHolder holder;
    holder.SetData(3, ByteString("\x00\r\n\xff", 4));
    holder.SetData(15, ByteString(0xFFFF, 'x'));
    TMemoryStream stream(TokenBlock::Serialize(holder));
    TBreloUsbTokenFileDataHolder back;
    TokenBlock::Parse(stream, back);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(back.GetData(i), holder.GetData(i)) << "entry " << i;
    }
}

TEST(TokenBlock, ZeroFilledCellReadsAsSixteenEmptyEntriesAndTailIsIgnored) {
    TMemoryStream cell(ByteString(100, '\0'));
    TBreloUsbTokenFileDataHolder holder;
    holder.SetData(5, "old");
    TokenBlock::Parse(cell, holder);
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(holder.GetData(i).empty());
    }
}

struct CorruptCase {
    const char* name;
    ByteString cell;
    const char* message;
};

TEST(TokenBlock, CorruptBlocksGiveTheBlockSizeErrorAndLeaveTheHolder) {
    ByteString claim500 = Block({"", "", ""});  // entries 0..2 empty
    claim500 += ByteString("\xF4\x01", 2) + ByteString(120, 'z');
    const CorruptCase cases[] = {
        {"entry beyond the end", claim500, "Неверный размер блока: 500. Доступный остаток: 120"},
        {"cell shorter than 32 bytes", ByteString(31, '\0'), "Неверный размер блока: 2. Доступный остаток: 1"},
        {"two-byte cell", ByteString(2, '\0'), "Неверный размер блока: 2. Доступный остаток: 0"},
        {"empty cell", ByteString(), "Неверный размер блока: 2. Доступный остаток: 0"},
    };
    for (const CorruptCase& c : cases) {
        TMemoryStream stream(c.cell);
        TBreloUsbTokenFileDataHolder holder;
        holder.SetData(0, "keep");
        try {
            TokenBlock::Parse(stream, holder);
            ADD_FAILURE() << c.name << ": parsed";
        } catch (const EBlockSizeError& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
        EXPECT_EQ(holder.GetData(0), "keep") << c.name;
    }
}

TEST(TokenBlock, EntryLongerThanTheLengthFieldIsRefusedAsAWhole) {
    TBreloUsbTokenFileDataHolder holder;
    holder.SetData(2, ByteString(0x10000, 'k'));
    EXPECT_THROW(TokenBlock::Serialize(holder), EBlockSizeError);
    TMemoryStream stream;
    EXPECT_THROW(TokenBlock::WriteEntryText(ByteString(0x10000, 'k'), stream), EBlockSizeError);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(TokenBlock, SkipAndCopyReachOneEntry) {
    TMemoryStream block(Block({"zero", "one", "two"}));
    TokenBlock::SkipEntry(block);
    TokenBlock::SkipEntry(block);
    TMemoryStream target;
    EXPECT_EQ(TokenBlock::CopyEntryData(block, target), 3);
    EXPECT_EQ(target.Bytes(), "two");
}

// Every seed of the fuzz corpus goes through the parser: it parses or fails with a clear error.
TEST(TokenBlock, FuzzCorpusParsesOrFailsCleanly) {
    const std::filesystem::path dir = std::filesystem::path(TOKEN_CORPUS_DIR) / "token_block";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(file.path(), std::ios::binary);
        TMemoryStream stream(ByteString(std::istreambuf_iterator<char>(in), {}));
        TBreloUsbTokenFileDataHolder holder;
        try {
            TokenBlock::Parse(stream, holder);
        } catch (const EStreamError&) {
        }
    }
}

}  // namespace
}  // namespace brelo
