#pragma once
// brelo-keytool: the wizard's steps from the command line, for support staff and scripts.
//   devices                                          the device lines the wizard would show
//   transfer --login L --keys DIR (--device LINE | --first)
//   show --device LINE                               what the token holds, entry by entry
// The password is read without echo from the terminal, or as one line from standard input
// when that is not a terminal. Passwords and PINs are never printed.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/KeyTransferPorts.h"
#include "core/ByteString.h"

namespace brelo {

/// Where the tool reads and writes; the program binds it to the process's streams.
struct TKeyToolIo {
    std::ostream& Out;
    std::ostream& Err;
    /// Returns the password; Prompt is shown only when a terminal asks for it.
    std::function<SecureString(const std::string& Prompt)> ReadPassword;
};

/// Runs one command (Args without the program name). Exit status: 0 success, 1 failure,
/// 2 wrong usage.
int RunKeyTool(const std::vector<std::string>& Args, TKeyCheck& Keys, TDeviceSource& Devices,
               TKeyToolIo& Io);

/// Reads the password from standard input: without echo from a terminal, otherwise one line.
SecureString ReadPasswordFromStdin(const std::string& Prompt);

/// Upper case of a UTF-8 text (Cyrillic included), as the wizard's login field shows it.
std::string UpperCaseLogin(const std::string& Login);

/// One line per token entry: number, meaning, size, and for a certificate its subject and
/// validity. Key entries show their size only.
std::vector<std::string> DescribeTokenEntry(int Index, const ByteString& Data);

}  // namespace brelo
