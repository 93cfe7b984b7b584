#include "app/KeyTool.h"

#include <algorithm>
#include <ostream>

#include "app/KeyTransferController.h"
#include "app/TokenErrorMessages.h"
#include "core/Exceptions.h"
#include "core/Text.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

const char* const UsageText =
    "Использование:\n"
    "  brelo-keytool devices\n"
    "  brelo-keytool transfer --login ЛОГИН --keys ПАПКА (--device СТРОКА | --first)\n"
    "  brelo-keytool show --device СТРОКА\n"
    "Пароль читается с терминала без отображения или строкой со стандартного ввода.\n";
const char* const PasswordPrompt = "Пароль к секретному ключу: ";

struct TOptions {
    std::string Command, Login, Keys, Device;
    bool First = false;
};

// Parses "command --name value ..."; false on anything it does not know.
bool ParseOptions(const std::vector<std::string>& Args, TOptions& Options, std::string& Problem) {
    if (Args.empty())
        return Problem = "не задана команда", false;
    Options.Command = Args[0];
    for (std::size_t i = 1; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (arg == "--first") {
            Options.First = true;
            continue;
        }
        std::string* target = arg == "--login"    ? &Options.Login
                              : arg == "--keys"   ? &Options.Keys
                              : arg == "--device" ? &Options.Device
                                                  : nullptr;
        if (!target)
            return Problem = "неизвестный параметр " + arg, false;
        if (i + 1 == Args.size())
            return Problem = "нет значения у " + arg, false;
        *target = Args[++i];
    }
    return true;
}

// A token that refuses the PIN at this point refuses the password it was derived from.
std::string ShowReadError(const std::string& Text) {
    if (Trim(Text) == "CKR_PIN_INCORRECT")
        return "USB токен не принял PIN-код, полученный из этого пароля";
    return TranslateTokenError(Text, "");
}

// What the wizard would show, collected for printing.
struct TCollected {
    std::string Error, Success;
    TKeyTransferEvents Events() {
        TKeyTransferEvents events;
        events.ShowError = [this](const std::string& t) { Error = t, Success.clear(); };
        events.ShowSuccess = [this](const std::string& t) { Success = t, Error.clear(); };
        events.HideError = [this] { Error.clear(); };
        return events;
    }
};

// The device line given on the command line: the line itself, or a token's UID or name.
int FindDevice(const std::vector<std::string>& Lines, const std::string& Wanted) {
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string& line = Lines[i];
        const std::size_t open = line.rfind('[');
        const std::string name =
            Trim(line.substr(0, std::min(open, TBreloUsbTokenInt::TokenNameWidth)));
        const std::string uid =
            open == std::string::npos ? "" : line.substr(open + 1, line.size() - open - 2);
        if (line == Wanted || Trim(line) == Trim(Wanted) || uid == Trim(Wanted) ||
            name == Trim(Wanted))
            return static_cast<int>(i);
    }
    return -1;
}

int ListDevices(TKeyCheck& Keys, TDeviceSource& Source, TKeyToolIo& Io) {
    TCollected shown;
    TKeyTransferController wizard(Keys, Source, shown.Events());
    try {
        wizard.FillDeviceList();
    } catch (const std::exception& e) {
        wizard.ShowError(std::string("Ошибка: ") + e.what());
        Io.Err << shown.Error << '\n';
        return 1;
    }
    for (const std::string& line : wizard.DeviceLines()) Io.Out << line << '\n';
    if (wizard.DeviceLines().empty())
        Io.Err << "USB токены не найдены\n";
    return 0;
}

int Transfer(const TOptions& Options, TKeyCheck& Keys, TDeviceSource& Source, TKeyToolIo& Io) {
    if (Options.Login.empty() || Options.Keys.empty() || Options.Device.empty() == !Options.First) {
        Io.Err << UsageText;
        return 2;
    }
    TCollected shown;
    TKeyTransferController wizard(Keys, Source, shown.Events());
    wizard.SetUserName(UpperCaseLogin(Options.Login));
    wizard.SetKeyPath(Options.Keys);
    wizard.SetPassword(Io.ReadPassword(PasswordPrompt));
    if (!wizard.NextEnabled()) {
        Io.Err << "Логин и пароль не должны быть пустыми\n";
        return 1;
    }
    wizard.Next();
    if (wizard.Page() != TWizardPage::UsbToken || !shown.Error.empty()) {
        Io.Err << shown.Error << '\n';
        return 1;
    }
    const int device = Options.First ? (wizard.DeviceLines().empty() ? -1 : 0)
                                     : FindDevice(wizard.DeviceLines(), Options.Device);
    if (device < 0) {
        Io.Err << (wizard.DeviceLines().empty() ? "USB токены не найдены\n"
                                                : "USB токен не найден: " + Options.Device + '\n');
        for (const std::string& line : wizard.DeviceLines()) Io.Err << "  " << line << '\n';
        return 1;
    }
    wizard.SetSelectedDevice(device);
    Io.Err << "USB токен: " << wizard.DeviceLines()[device] << '\n';
    wizard.Next();
    if (!wizard.Done()) {
        Io.Err << shown.Error << '\n';
        return 1;
    }
    Io.Out << shown.Success << '\n';
    return 0;
}

// The device line of the token the text names, as the hooks find tokens by it; the text as
// given when no listed token matches.
std::string ResolveDevice(const std::string& Wanted, TDeviceSource& Source) {
    std::vector<std::string> lines;
    try {
        for (const TDeviceEntry& entry : Source.Enumerate())
            lines.push_back(TKeyTransferController::DeviceLine(entry));
    } catch (const std::exception&) {
        return Wanted;  // the hook reports what is wrong with the token
    }
    const int found = FindDevice(lines, Wanted);
    return found < 0 ? Wanted : lines[found];
}

int Show(const TOptions& Options, TDeviceSource& Source, TKeyToolIo& Io) {
    if (Options.Device.empty() || !Options.Login.empty() || !Options.Keys.empty() ||
        Options.First) {
        Io.Err << UsageText;
        return 2;
    }
    const SecureString password = Io.ReadPassword(PasswordPrompt);
    TBreloUsbTokenFileDataHolder holder;
    try {
        if (!ReadTokenDataProc)
            throw Exception("Модуль USB токенов не подключен к программе");
        ReadTokenDataProc(ResolveDevice(Options.Device, Source), password, holder);
    } catch (const std::exception& e) {
        Io.Err << ShowReadError(e.what()) << '\n';
        return 1;
    }
    for (int i = TBreloUsbTokenFileDataHolder::LowIndex;
         i <= TBreloUsbTokenFileDataHolder::HighIndex; ++i) {
        for (const std::string& line : DescribeTokenEntry(i, holder.GetData(i)))
            Io.Out << line << '\n';
    }
    return 0;
}

}  // namespace

int RunKeyTool(const std::vector<std::string>& Args, TKeyCheck& Keys, TDeviceSource& Devices,
               TKeyToolIo& Io) {
    TOptions options;
    std::string problem;
    if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h" || Args[0] == "help")) {
        Io.Out << UsageText;
        return 0;
    }
    if (!ParseOptions(Args, options, problem)) {
        Io.Err << "brelo-keytool: " << problem << '\n' << UsageText;
        return 2;
    }
    if (options.Command == "devices" && Args.size() == 1)
        return ListDevices(Keys, Devices, Io);
    if (options.Command == "transfer")
        return Transfer(options, Keys, Devices, Io);
    if (options.Command == "show")
        return Show(options, Devices, Io);
    Io.Err << "brelo-keytool: неизвестная команда " << options.Command << '\n' << UsageText;
    return 2;
}

}  // namespace brelo
