#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The summary file, read line by line through C stdio, whose ferror tells a failed read from the
// end of the file on every C library. A directory, or a name holding a NUL byte (no file has
// one), does not open: such a name is reported as one that cannot be opened, on every platform.
class SummaryFile {
public:
    explicit SummaryFile(const std::string& name);
    ~SummaryFile();
    SummaryFile(const SummaryFile&) = delete;
    SummaryFile& operator=(const SummaryFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    // The next line, without its '\n', whatever its length and whatever bytes it holds. False at
    // the end of the file, and after a failed read (readFailed tells which).
    bool readLine(std::string& line);
    bool readFailed() const { return file_ != nullptr && std::ferror(file_) != 0; }

private:
    std::FILE* file_ = nullptr;
    char block_[1 << 16];
    std::size_t begin_ = 0, end_ = 0;  // unread bytes are block_[begin_, end_)
};
