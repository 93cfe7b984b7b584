#include "token/BreloUsbToken.h"

#include "core/Format.h"
#include "core/Text.h"
#include "token/TokenBlock.h"
#include "token/ZipCell.h"

namespace brelo {

// ---- TBreloUsbToken ----

std::unique_ptr<TMemoryStream> TBreloUsbToken::Compress(TStream& Stream) { return ZipCell::Compress(Stream); }

std::unique_ptr<TMemoryStream> TBreloUsbToken::Decompress(TStream& Stream) {
    return ZipCell::Decompress(Stream);
}

void TBreloUsbToken::ReadBlock(TStream& Stream) {
    ReadFile(0, Stream);
    Stream.SetPosition(0);
}

void TBreloUsbToken::WriteBlock(TStream& Stream) {
    Stream.SetPosition(0);
    WriteFile(0, Stream);
}

void TBreloUsbToken::ReadHolder(TBreloUsbTokenFileDataHolder& Holder) {
    TMemoryStream block;
    ReadBlock(block);
    TokenBlock::Parse(block, Holder);
}

void TBreloUsbToken::WriteHolder(const TBreloUsbTokenFileDataHolder& Holder) {
    TMemoryStream block(TokenBlock::Serialize(Holder));
    WriteBlock(block);
}

bool TBreloUsbToken::ReadEntry(int Index, TStream& Target) {
    Assert(Index >= TBreloUsbTokenFileDataHolder::LowIndex && Index <= TBreloUsbTokenFileDataHolder::HighIndex,
           "token entry index out of range");
    TMemoryStream block;
    ReadBlock(block);
    for (int i = 0; i < Index; ++i) {
        TokenBlock::SkipEntry(block);
    }
    TokenBlock::CopyEntryData(block, Target);
    return Target.Size() > 0;
}

void TBreloUsbToken::SetEntries(std::initializer_list<ByteString> Values, std::initializer_list<int> Indexes) {
    TBreloUsbTokenFileDataHolder holder;
    ReadHolder(holder);
    holder.SetDataList(Values, Indexes);
    WriteHolder(holder);
}

void TBreloUsbToken::WriteEntry(int Index, TStream& Source) {
    Source.SetPosition(0);
    ByteString text = Source.ReadAll();
    SetEntries({text}, {Index});
    WipeString(text);
}

// ---- TBreloUsbTokenList ----

std::vector<TBreloTokenKind>& BreloTokenKinds() {
    static std::vector<TBreloTokenKind> kinds;
    return kinds;
}

TBreloUsbTokenList::TBreloUsbTokenList(int Kind, int Filter) { Init(Kind, Filter, DefaultPinProvider().Event()); }

void TBreloUsbTokenList::Enumerate(int Kind, int Filter) {
    const TnkiAddTokenProc add = AddProc();
    for (const TBreloTokenKind& kind : BreloTokenKinds()) {
        if (Kind == 0 || Kind == kind.Kind) {
            kind.EnumerateDevices(Filter, add);
        }
    }
}

TnkiToken& TBreloUsbTokenList::FindByName(const std::string& Name) const {
    const std::string wanted = Trim(Name);
    for (const TItem& item : FItems) {
        if (Trim(item.Token->Name()) == wanted) {
            return *item.Token;
        }
    }
    throw EListError(Format("Устройство с заданным именем \"%s\" не найдено в списке.", {Name}));
}

TnkiToken& TBreloUsbTokenList::FindByUID(const std::string& UID) const {
    const std::string wanted = Trim(UID);
    for (const TItem& item : FItems) {
        if (Trim(item.Token->UID()) == wanted) {
            return *item.Token;
        }
    }
    throw EListError(Format("Устройство с UID %s не найдено", {UID}));
}

std::string ExtractUID(const std::string& DeviceText) {
    // Character 32 (1-based) is index 31: a "[" inside the padded name does not count.
    const std::size_t open = DeviceText.find('[', 31);
    if (open == std::string::npos || open < 32) {
        return {};
    }
    const std::size_t close = DeviceText.find(']', open);
    if (close == std::string::npos) {
        return {};
    }
    return Trim(DeviceText.substr(open + 1, close - open - 1));
}

}  // namespace brelo
