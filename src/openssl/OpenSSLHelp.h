#pragma once
// OpenSSL's error queue in the system's terms: EOpenSSLError captures every queued entry with
// readable texts, and the key-reading conditions become short user texts with codes.
//
// User texts. Every text this unit produces comes from OpenSSLText(Id):
//   - by default (the key-transfer program) it is GetMessageText of the message key named in
//     TOpenSSLTextId, so a MessageTextProc translation applies as everywhere else;
//   - UseLibraryOpenSSLTexts() switches the whole process to the fixed Russian texts that the
//     shared library ztcrypto shows (LibraryOpenSSLText), including the two different
//     wrong-password sentences, which are chosen by the OpenSSL condition (WrongPasswKey for a
//     failed decryption, WrongPassw for key data that does not decode after decryption);
//   - SetOpenSSLTextProc installs any other table.
// The choice of Id for an OpenSSL condition (KeyErrorText) is the same in every mode.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/Format.h"
#include "openssl/OpenSSL.h"

namespace brelo {

enum class TOpenSSLTextId {
    Library,            ///< "Library", argument: library number
    Function,           ///< "Function", argument: function number
    Reason,             ///< "Reason", argument: reason number
    FuncErrorFormat,    ///< "FuncErrorFormat", arguments: reason, function, library texts
    WrongPasswKey,      ///< "WrongPassw": decryption of the key failed
    WrongPassw,         ///< "WrongPassw": decrypted key data does not decode
    BadHeader,          ///< "BadHeader"
    BadStruct,          ///< "BadStruct"
    BadStructNoHeader,  ///< "BadStructNoHeader"
};

using TOpenSSLTextProc = std::string (*)(TOpenSSLTextId id);

/// The message key of an Id (its text in the program).
const char* OpenSSLTextKey(TOpenSSLTextId id);
/// GetMessageText(OpenSSLTextKey(Id)).
std::string MessageKeyOpenSSLText(TOpenSSLTextId id);
/// The fixed Russian texts of ztcrypto (UTF-8).
std::string LibraryOpenSSLText(TOpenSSLTextId id);
/// Process-wide choice of texts; nullptr restores the message keys.
void SetOpenSSLTextProc(TOpenSSLTextProc proc);
void UseLibraryOpenSSLTexts();
/// The text of Id under the current choice.
std::string OpenSSLText(TOpenSSLTextId id);
/// OpenSSLText(Id) formatted with the arguments.
std::string OpenSSLText(TOpenSSLTextId id, std::initializer_list<FormatArg> args);

/// One captured entry of OpenSSL's error queue.
class TOpenSSLError {
public:
    /// Texts for Code; Function and Data are what OpenSSL recorded with this entry.
    explicit TOpenSSLError(unsigned long code, const char* function = nullptr, const char* data = nullptr);
    unsigned long Code;
    std::string LibText, FuncText, ReasonText;
    int Library() const;
    int Reason() const;
};

/// OpenSSL failures. The message holds ContextText (when given) and one line per entry.
class EOpenSSLError : public Exception {
public:
    /// Captures Code and then every further entry of this thread's queue, which ends empty.
    EOpenSSLError(unsigned long code, const char* function, const char* data, const std::string& text);
    /// Captures nothing: the message is the formatted text, and so is ContextText, so that the
    /// user text of such an error is not empty.
    EOpenSSLError(std::string_view format, std::initializer_list<FormatArg> args);
    int ErrorCount() const { return static_cast<int>(Errors.size()); }
    const TOpenSSLError& Error(int index) const { return Errors.at(static_cast<std::size_t>(index)); }
    std::vector<TOpenSSLError> Errors;
    std::string ContextText;
};

/// Raises EOpenSSLError with Text when this thread's queue holds an error; quiet otherwise.
void CheckOpenSSLError(const std::string& text = {});
/// Empties this thread's queue (before a call whose failure must not be blamed on old entries).
void ClearOpenSSLErrors();

/// The user text of a condition met while reading a private key; DefaultText for others.
/// Leaves KeyErrorCode(Code) in LastKeyErrorCode.
void KeyErrorText(unsigned long code, const std::string& defaultText, std::string& text);
/// 39 wrong password, 40 damaged structure, 41 damaged header, 42 otherwise.
int KeyErrorCode(unsigned long code);
/// Class of the last code KeyErrorText looked at (per thread; 0 at first).
int LastKeyErrorCode();

/// The user text of E into Buffer (zero-terminated) when Size is large enough; Size becomes
/// the room needed, 0 when E is not an EOpenSSLError. A line equal to the one before it is
/// left out, so one condition that OpenSSL reports from two layers reads once.
void DescribeOpenSSLError(const std::exception& e, char* buffer, std::uint32_t& size);
/// The user text of any exception, trimmed.
std::string OpenSSLErrorText(const std::exception& e);

/// The packed code for a library and reason, as OpenSSL 3 builds it.
unsigned long OpenSSLErrorCode(int library, int reason);

}  // namespace brelo
