#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace barwright::detail {

// The summary file, read in blocks through C stdio, whose ferror tells a failed read from the
// end of the file on every C library. A directory, or a name holding a NUL byte (no file has
// one), does not open: such a name is reported as one that cannot be opened, on every platform.
class SummaryFile {
public:
    explicit SummaryFile(const std::string& name);
    ~SummaryFile();
    SummaryFile(const SummaryFile&) = delete;
    SummaryFile& operator=(const SummaryFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    // The next piece of a line, whatever bytes it holds: up to its '\n' (not included) or to the
    // end of the block, and whether the line ends there. A last line without '\n' ends at the
    // end of the file. False at the end of the file, and after a failed read (readFailed tells).
    bool readPiece(std::string_view& piece, bool& lineEnds);
    bool readFailed() const { return file_ != nullptr && std::ferror(file_) != 0; }

private:
    std::FILE* file_ = nullptr;
    char block_[1 << 16];
    std::size_t begin_ = 0, end_ = 0;  // unread bytes are block_[begin_, end_)
    bool midLine_ = false;             // pieces of a line that has not ended were read
};

}  // namespace barwright::detail
