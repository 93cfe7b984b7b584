#include "core/Messages.h"

namespace brelo {

TMessageTextProc MessageTextProc = nullptr;

std::string GetMessageText(const std::string& key) {
    if (MessageTextProc == nullptr) {
        return key;
    }
    std::string text;
    MessageTextProc(key, text);
    return text;
}

std::string KeyedText(const std::string& key, std::initializer_list<FormatArg> args) {
    return Format(GetMessageText(key), args);
}

}  // namespace brelo
