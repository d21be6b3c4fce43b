#include "summary_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>

SummaryFile::SummaryFile(const std::string& name) {
    std::error_code ignored;
    if (name.find('\0') != std::string::npos || std::filesystem::is_directory(name, ignored)) return;
    // Binary: a carriage return is white space to the scan anyway, and in text mode Windows would
    // end the file at the first Ctrl-Z byte.
    file_ = std::fopen(name.c_str(), "rb");
}

SummaryFile::~SummaryFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool SummaryFile::readLine(std::string& line) {
    line.clear();
    for (;;) {
        if (begin_ == end_) {
            begin_ = 0;
            end_ = std::fread(block_, 1, sizeof block_, file_);
            if (end_ == 0) return !line.empty();  // a last line without '\n' counts
        }
        const char* start = block_ + begin_;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
        const std::size_t length = newline != nullptr ? static_cast<std::size_t>(newline - start) : end_ - begin_;
        line.append(start, length);
        begin_ += length;
        if (newline != nullptr) {
            ++begin_;
            return true;
        }
    }
}
