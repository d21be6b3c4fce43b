#include <iostream>
#include <string>
#include <vector>

#include "file_names.h"
#include "report.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The arguments as UTF-8, from the wide command line, so that any file name opens; standard
// input in binary mode, as the energy reader reads a file.
std::vector<std::string> arguments(int, char**) {
    _setmode(_fileno(stdin), _O_BINARY);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.pop_back();  // the terminating NUL
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}
#else
std::vector<std::string> arguments(int argc, char** argv) { return {argv + (argc > 0 ? 1 : 0), argv + argc}; }
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> args = arguments(argc, argv);
    std::ios::sync_with_stdio(false);
    quenvar::detail::Console console;
    return quenvar_report::runReport(args, std::cin, console.out(), std::cerr);
}
