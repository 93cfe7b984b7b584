#pragma once
// Message keys: every text of the crypto layer is a short key turned into text here.

#include <initializer_list>
#include <string>

#include "core/Format.h"

namespace brelo {

/// Translation procedure (Key, out Text). Empty at start; nothing in the program assigns it,
/// so the key itself is the text.
using TMessageTextProc = void (*)(const std::string& key, std::string& text);
extern TMessageTextProc MessageTextProc;

/// The registered translation of Key, or Key itself.
std::string GetMessageText(const std::string& key);

/// GetMessageText(Key) formatted with the arguments. The bare key has no placeholders, so
/// untranslated keys drop their arguments.
std::string KeyedText(const std::string& key, std::initializer_list<FormatArg> args = {});

/// Raises E with the keyed text: the one way the crypto layer raises a keyed error.
template <typename E>
[[noreturn]] void RaiseKeyed(const std::string& key, std::initializer_list<FormatArg> args = {}) {
    throw E(KeyedText(key, args));
}

}  // namespace brelo
