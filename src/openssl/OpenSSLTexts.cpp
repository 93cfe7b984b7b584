#include <atomic>

#include "core/Messages.h"
#include "openssl/OpenSSLHelp.h"

namespace brelo {

namespace {
std::atomic<TOpenSSLTextProc> TextProc{nullptr};
}

const char* OpenSSLTextKey(TOpenSSLTextId id) {
    switch (id) {
        case TOpenSSLTextId::Library: return "Library";
        case TOpenSSLTextId::Function: return "Function";
        case TOpenSSLTextId::Reason: return "Reason";
        case TOpenSSLTextId::FuncErrorFormat: return "FuncErrorFormat";
        case TOpenSSLTextId::WrongPasswKey:
        case TOpenSSLTextId::WrongPassw: return "WrongPassw";
        case TOpenSSLTextId::BadHeader: return "BadHeader";
        case TOpenSSLTextId::BadStruct: return "BadStruct";
        case TOpenSSLTextId::BadStructNoHeader: return "BadStructNoHeader";
    }
    return "";
}

std::string MessageKeyOpenSSLText(TOpenSSLTextId id) { return GetMessageText(OpenSSLTextKey(id)); }

std::string LibraryOpenSSLText(TOpenSSLTextId id) {
    switch (id) {
        case TOpenSSLTextId::Library: return "Библиотека %d";
        case TOpenSSLTextId::Function: return "Функция %d";
        case TOpenSSLTextId::Reason: return "Код %d";
        case TOpenSSLTextId::FuncErrorFormat: return "Ошибка: %s (в функции \"%s\" библиотеки \"%s\")";
        case TOpenSSLTextId::WrongPasswKey: return "Указан неверный пароль для секретного ключа.";
        case TOpenSSLTextId::WrongPassw: return "Указан неверный пароль.";
        case TOpenSSLTextId::BadHeader: return "Нарушен заголовок.";
        case TOpenSSLTextId::BadStruct: return "Нарушена структура.";
        case TOpenSSLTextId::BadStructNoHeader: return "Нарушена структура. Нет заголовка.";
    }
    return "";
}

void SetOpenSSLTextProc(TOpenSSLTextProc proc) { TextProc.store(proc); }

void UseLibraryOpenSSLTexts() { SetOpenSSLTextProc(&LibraryOpenSSLText); }

std::string OpenSSLText(TOpenSSLTextId id) {
    const TOpenSSLTextProc proc = TextProc.load();
    return proc != nullptr ? proc(id) : MessageKeyOpenSSLText(id);
}

std::string OpenSSLText(TOpenSSLTextId id, std::initializer_list<FormatArg> args) {
    return Format(OpenSSLText(id), args);
}

}  // namespace brelo
