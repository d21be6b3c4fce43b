#pragma once

#include <cstdio>
#include <filesystem>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

namespace barwright::detail {

// File names are text. On Windows the program holds them as UTF-8, reads them from a console as
// the characters typed, opens files through the wide-character interface and shows names on a
// console as characters again, whatever the console's code page. On Linux and macOS a name is
// bytes, opened as given.

// The answers typed or piped in. A file name looks ahead to the end of its line, which a plain
// stream cannot do, to tell a quote from an apostrophe. A UTF-8 byte-order mark at the start (as
// PowerShell pipes send) is no part of the first answer.
class Answers : public std::istream {
public:
    explicit Answers(std::istream& source);
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;

    // Whether `c` is among the unread characters of the current line. Only this holds a whole
    // line in memory; otherwise the answers are read in pieces.
    bool aheadOnLine(char c) { return lines_.aheadOnLine(c); }

private:
    struct Lines : std::streambuf {
        explicit Lines(std::streambuf* from) : source(from) {}
        int_type underflow() override;
        bool aheadOnLine(char c);
        void readOn();  // appends up to the line end, at most a piece
        std::streambuf* source;
        std::string text;  // the piece being read, and what was read ahead of it
        bool started = false;
    };
    Lines lines_;
};

// Reads one file name from the answers as a shell reads one word, since that is how terminals
// type a path (a dragged-in one quoted or escaped, a typed one starting at "~/"): it ends at the
// first blank outside quotes, and quoted and unquoted pieces next to each other join. A quote
// is a ' or " whose partner follows on the same line; inside it every character is taken as it
// is. A ' or " without a partner is an ordinary character (O'Brien), and a CR before the line
// end or the end of the input is never part of a name. On Linux and macOS a backslash outside
// quotes stands for the character after it (one before the line end or the end of the input
// stays a backslash), and "~" alone or before "/" at the start stands for $HOME. On Windows a
// backslash is the path separator, and an answer that is not UTF-8 is read in the ANSI code
// page, or in the console's OEM code page where only that names an existing file. What follows
// the name stays for the next answer. False when the input ends before a name.
bool readFileName(Answers& in, std::string& name);

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
