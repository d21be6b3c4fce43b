#pragma once

#include <cstdio>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

namespace barwright::detail {

// File names are text. On Windows the program holds them as UTF-8, reads them from a console as
// the characters typed, opens files through the wide-character interface and shows names on a
// console as characters again, whatever the console's code page. On Linux and macOS a name is
// bytes, opened as given.

// Reads one file name from the answers as a shell reads one word, since that is how terminals
// type a path (a dragged-in one quoted or escaped, a typed one starting at "~/"): it ends at the
// first blank outside quotes, and quoted and unquoted pieces next to each other join. Inside
// quotes every character is taken as it is; an unclosed quote reads to the end of the line, and a
// CR before the line end or the end of the input is never part of a name. On Linux and macOS a
// backslash outside quotes stands for the character after it (one before the line end or the end
// of the input stays a backslash), and "~" alone or before "/" at the start stands for $HOME.
// On Windows a backslash is the path separator, and an answer that is not UTF-8 is read in the
// ANSI code page, or in the console's OEM code page where only that names an existing file.
// What follows the name stays for the next answer. False when the input ends before a name.
bool readFileName(std::istream& in, std::string& name);

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

}  // namespace barwright::detail
