#include "file_names.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <streambuf>
#include <string_view>

namespace barwright::detail {
namespace {

std::wstring wideFrom(std::string_view text, UINT codePage) {
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string utf8From(std::wstring_view wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// What is typed at the console, a line at a time, as UTF-8. A line that begins with Ctrl-Z ends
// the input, as it does for the C runtime's text mode.
class ConsoleInput : public std::streambuf {
public:
    explicit ConsoleInput(HANDLE handle) : handle_(handle) {}

private:
    int_type underflow() override {
        wchar_t typed[4096];
        typed[0] = held_;
        DWORD got = 0;
        const DWORD start = held_ != 0 ? 1 : 0;
        if (ended_ || !ReadConsoleW(handle_, typed + start, 4096 - start, &got, nullptr) || got == 0) {
            ended_ = true;
            return traits_type::eof();
        }
        got += start;
        if (lineStart_ && typed[0] == 0x1a) {
            ended_ = true;
            return traits_type::eof();
        }
        lineStart_ = typed[got - 1] == L'\n';
        // A character outside the basic plane may arrive in two reads.
        held_ = typed[got - 1] >= 0xd800 && typed[got - 1] < 0xdc00 ? typed[--got] : L'\0';
        text_ = utf8From({typed, got});
        if (text_.empty()) return underflow();
        setg(text_.data(), text_.data(), text_.data() + text_.size());
        return traits_type::to_int_type(text_[0]);
    }

    HANDLE handle_;
    std::string text_;
    wchar_t held_ = 0;
    bool lineStart_ = true, ended_ = false;
};

// UTF-8 text written to the console as the characters it stands for.
class ConsoleOutput : public std::streambuf {
public:
    explicit ConsoleOutput(HANDLE handle) : handle_(handle) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~ConsoleOutput() override { sync(); }

private:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override {
        // Whole UTF-8 sequences only: the start of one that is cut off waits for the rest.
        const auto size = static_cast<std::size_t>(pptr() - pbase());
        std::size_t whole = size;
        for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
            const auto byte = static_cast<unsigned char>(buffer_[size - back]);
            if ((byte & 0xc0) == 0x80) continue;  // a continuation byte
            const std::size_t length = byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : byte >= 0xc0 ? 2 : 1;
            if (length > back) whole = size - back;
            break;
        }
        const std::wstring wide = wideFrom({buffer_, whole}, CP_UTF8);
        DWORD written = 0;
        const bool ok = WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
        std::char_traits<char>::move(buffer_, buffer_ + whole, size - whole);
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(static_cast<int>(size - whole));
        return ok ? 0 : -1;
    }

    HANDLE handle_;
    char buffer_[4096];
};

}  // namespace

std::filesystem::path pathOf(const std::string& name) { return std::filesystem::path(wideFrom(name, CP_UTF8)); }

namespace {

// The bytes of a name typed or piped in: as they are where they are UTF-8. Otherwise they are text
// in the ANSI code page, as the C runtime reads a narrow name, or, where only that names an
// existing file, in the console's OEM code page, which cmd's "echo NAME| program" sends.
std::string nameFromAnswer(std::string bytes) {
    if (bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0) > 0) {
        return bytes;
    }
    std::string ansi = utf8From(wideFrom(bytes, CP_ACP));
    std::error_code ignored;
    if (std::filesystem::exists(pathOf(ansi), ignored)) return ansi;
    const UINT console = GetConsoleOutputCP();
    std::string oem = utf8From(wideFrom(bytes, console != 0 ? console : CP_OEMCP));
    return std::filesystem::exists(pathOf(oem), ignored) ? oem : ansi;
}

}  // namespace

std::FILE* openForReading(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

struct Console::Streams {
    ConsoleInput inputBuffer{GetStdHandle(STD_INPUT_HANDLE)};
    ConsoleOutput outputBuffer{GetStdHandle(STD_OUTPUT_HANDLE)};
    std::istream in{&inputBuffer};
    std::ostream out{&outputBuffer};
};

Console::Console() : own_(std::make_unique<Streams>()), in_(&std::cin), out_(&std::cout) {
    if (isConsole(GetStdHandle(STD_INPUT_HANDLE))) in_ = &own_->in;
    if (isConsole(GetStdHandle(STD_OUTPUT_HANDLE))) out_ = &own_->out;
}

Console::~Console() = default;

}  // namespace barwright::detail

#else

namespace barwright::detail {

std::filesystem::path pathOf(const std::string& name) { return name; }

namespace {
std::string nameFromAnswer(std::string bytes) { return bytes; }
}  // namespace

std::FILE* openForReading(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

struct Console::Streams {};

Console::Console() : in_(&std::cin), out_(&std::cout) {}

Console::~Console() = default;

}  // namespace barwright::detail

#endif

namespace barwright::detail {
namespace {

// Linux and macOS paths: "~" is the home directory, and a backslash outside quotes escapes the
// next character. On Windows a backslash is the path separator, and "~" means nothing.
#ifdef _WIN32
constexpr bool kPosixPaths = false;
#else
constexpr bool kPosixPaths = true;
#endif

// The characters the classic locale calls white space, which end a word.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether a backslash outside quotes stands for the character after it: on Linux and macOS, but
// not before the line end or the end of the input, where it stays a backslash.
bool escapesNext(int next) {
    if constexpr (kPosixPaths) {
        return next != std::char_traits<char>::eof() && next != '\n' && next != '\r';
    } else {
        return false;
    }
}

// Pieces of at most this many bytes, so that a long line costs no memory unless a name looks
// ahead through it.
constexpr std::size_t kPiece = 4096;

}  // namespace

Answers::Answers(std::istream& source) : std::istream(nullptr), lines_(source.rdbuf()) { rdbuf(&lines_); }

void Answers::Lines::readOn() {
    for (std::size_t n = 0; n < kPiece; ++n) {
        const int_type c = source->sbumpc();
        if (traits_type::eq_int_type(c, traits_type::eof())) return;
        text += traits_type::to_char_type(c);
        if (c == '\n') return;
    }
}

Answers::Lines::int_type Answers::Lines::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    text.clear();
    readOn();
    if (!started && text.starts_with("\xef\xbb\xbf")) text.erase(0, 3);
    started = true;
    if (text.empty()) return traits_type::eof();
    setg(text.data(), text.data(), text.data() + text.size());
    return traits_type::to_int_type(text[0]);
}

bool Answers::Lines::aheadOnLine(char c) {
    const auto at = static_cast<std::size_t>(gptr() - eback());
    for (std::size_t searched = at; text.find('\n', searched) == std::string::npos;) {
        searched = text.size();
        readOn();
        if (text.size() == searched) break;  // the input ended
    }
    setg(text.data(), text.data() + at, text.data() + text.size());
    return std::string_view(text).substr(at, text.find('\n', at) - at).find(c) != std::string_view::npos;
}

bool readFileName(Answers& in, std::string& name) {
    constexpr int kEnd = std::char_traits<char>::eof();
    name.clear();
    int c = (in >> std::ws).peek();
    if (c == kEnd) return false;
    if constexpr (kPosixPaths) {
        if (c == '~') {
            in.get();
            c = in.peek();
            const char* home = std::getenv("HOME");
            name = home != nullptr && (c == '/' || c == kEnd || isSpace(c)) ? home : "~";
        }
    }
    for (; c != kEnd && !isSpace(c); c = in.peek()) {
        in.get();
        if ((c == '"' || c == '\'') && in.aheadOnLine(static_cast<char>(c))) {
            for (int inside = in.get(); inside != c; inside = in.get()) name += static_cast<char>(inside);
        } else if (c == '\\' && escapesNext(in.peek())) {
            name += static_cast<char>(in.get());
        } else {
            name += static_cast<char>(c);
        }
    }
    name = nameFromAnswer(std::move(name));
    return true;
}

}  // namespace barwright::detail
