#pragma once
// MD5 of a text's UTF-16LE bytes computed by the system's own tools (iconv and the openssl
// command), so that the PIN rules are checked against values the code under test did not make.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

inline std::string ToolMd5HexOfUtf16LE(const std::string& utf8) {
    char path[] = "/tmp/brelo-md5-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "cannot create a temporary file";
        return {};
    }
    close(fd);
    std::ofstream(path, std::ios::binary) << utf8;
    const std::string command = std::string("iconv -f UTF-8 -t UTF-16LE ") + path +
                                " | openssl md5 -r 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 256> buf{};
        while (fgets(buf.data(), buf.size(), pipe) != nullptr) {
            output += buf.data();
        }
        pclose(pipe);
    }
    unlink(path);
    // "openssl md5 -r" prints the digest, a space and the input name.
    if (output.size() < 33 || output[32] != ' ') {
        ADD_FAILURE() << "iconv | openssl md5 failed (packages libc-bin and openssl): " << output;
        return {};
    }
    return output.substr(0, 32);
}
