// brelo-demo-gostkey FOLDER LOGIN: writes LOGIN.KEY2 and LOGIN.CER2 into FOLDER; the password
// is read as one line from standard input (never from the command line).

#include <iostream>

#include "app/KeyTool.h"
#include "app/demo/GostKeyPair.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Использование: brelo-demo-gostkey ПАПКА ЛОГИН < пароль\n";
        return 2;
    }
    try {
        const brelo::SecureString password = brelo::ReadPasswordFromStdin("Пароль к ГОСТ ключу: ");
        brelo::MakeGostKeyPair(argv[1], brelo::UpperCaseLogin(argv[2]), password);
    } catch (const std::exception& e) {
        std::cerr << "brelo-demo-gostkey: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
