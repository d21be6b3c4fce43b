#include "summary_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "file_names.h"

namespace barwright::detail {

SummaryFile::SummaryFile(const std::string& name) {
    if (name.find('\0') != std::string::npos) return;
    const std::filesystem::path path = pathOf(name);
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return;
    // Binary: a carriage return is white space to the scan anyway, and in text mode Windows would
    // end the file at the first Ctrl-Z byte.
    file_ = openForReading(path);
}

SummaryFile::~SummaryFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool SummaryFile::readPiece(std::string_view& piece, bool& lineEnds) {
    if (begin_ == end_) {
        begin_ = 0;
        end_ = std::fread(block_, 1, sizeof block_, file_);
        if (end_ == 0) {  // a line cut short by a failed read is not used
            piece = {};
            lineEnds = true;
            return std::exchange(midLine_, false) && !readFailed();
        }
    }
    const char* start = block_ + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    lineEnds = newline != nullptr;
    piece = {start, lineEnds ? static_cast<std::size_t>(newline - start) : end_ - begin_};
    begin_ += piece.size() + (lineEnds ? 1 : 0);
    midLine_ = !lineEnds;
    return true;
}

}  // namespace barwright::detail
