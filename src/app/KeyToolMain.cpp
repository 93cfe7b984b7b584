// brelo-keytool: the wizard's steps from the command line (see KeyTool.h).

#include <iostream>

#include "app/KeyTool.h"
#include "app/KeyTransferServices.h"

int main(int argc, char** argv) {
    brelo::StartUpKeyTransfer();
    int status = 0;
    {
        brelo::TKeyTransferServices services;
        brelo::TKeyToolIo io{std::cout, std::cerr, brelo::ReadPasswordFromStdin};
        status =
            brelo::RunKeyTool({argv + 1, argv + argc}, services.Keys(), services.Devices(), io);
    }
    brelo::ShutDownKeyTransfer();
    return status;
}
