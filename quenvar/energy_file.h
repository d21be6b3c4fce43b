#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include "energy_reader.h"

namespace quenvar::detail {

// An energy file opened for reading, so that "cannot be read" means the same on every platform.
// A directory, or a name that holds a NUL byte (no file has one), does not open. The file is read
// through C stdio, whose ferror tells a failed read from the end of the file on every C library;
// such a failure reaches the stream as badbit, as any exception thrown during input does. (Some
// standard libraries' file streams report a failed read as a plain end of file.) The stream
// serves block reads (istream::read), straight from the file into the caller's block, and tells
// through in_avail() how many bytes the file system says are left: that is all the reader asks.
class EnergyFile {
public:
    explicit EnergyFile(const std::string& name);
    EnergyFile(const EnergyFile&) = delete;
    EnergyFile& operator=(const EnergyFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::istream& stream() { return stream_; }

private:
    struct Buffer : std::streambuf {
        std::FILE* file = nullptr;
        std::uint64_t unread = 0;  // the file's size less what was read, or 0 where the size is unknown
        std::streamsize xsgetn(char* to, std::streamsize count) override;
        std::streamsize showmanyc() override;
    };
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    Buffer buffer_;
    std::istream stream_{&buffer_};
};

// The named file's energies as readEnergySeries reads them; kUnreadable also where it does not
// open.
EnergyFileReading readEnergyFile(const std::string& name);

}  // namespace quenvar::detail
