#pragma once

#include <cstdio>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

namespace quenvar::detail {

// File names are text. On Windows the program holds them as UTF-8, reads them from a console as
// the characters typed, opens files through the wide-character interface and shows names on a
// console as characters again, whatever the console's code page. On Linux and macOS a name is
// bytes, opened as given, and nothing here changes it.

// Where a backslash in a name that is not quoted stands for the character after it, as the shell
// that typed it means it ("my\ data"); on Windows it is the path separator.
#ifdef _WIN32
inline constexpr bool kBackslashEscapes = false;
#else
inline constexpr bool kBackslashEscapes = true;
#endif

// The bytes of an answer as a name: on Windows, as they are where they are valid UTF-8, and
// otherwise read in the ANSI code page (as the C runtime reads a narrow name). Elsewhere as given.
std::string nameFromAnswer(std::string bytes);

// The file a name stands for.
std::filesystem::path pathOf(const std::string& name);
std::FILE* openForReading(const std::filesystem::path& path);

// Standard input and output as the dialogue uses them: where either is a Windows console, through
// the console's wide-character interface, as UTF-8 text; otherwise std::cin and std::cout.
class Console {
public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    std::istream& in() { return *in_; }
    std::ostream& out() { return *out_; }

private:
    struct Streams;
    std::unique_ptr<Streams> own_;  // the console's own streams, where there are any
    std::istream* in_;
    std::ostream* out_;
};

}  // namespace quenvar::detail
