#include "energy_file.h"

#include <algorithm>
#include <filesystem>
#include <ios>
#include <system_error>

EnergyFile::EnergyFile(const std::string& name) {
    std::error_code ignored;
    if (name.find('\0') != std::string::npos || std::filesystem::is_directory(name, ignored)) return;
    file_.reset(std::fopen(name.c_str(), "rb"));
    buffer_.file = file_.get();
}

std::size_t EnergyFile::Buffer::readOrThrow(char* to, std::size_t count) {
    const std::size_t got = std::fread(to, 1, count, file);
    if (got < count && std::ferror(file)) throw std::ios_base::failure("the energy file could not be read");
    return got;
}

EnergyFile::Buffer::int_type EnergyFile::Buffer::underflow() {
    const std::size_t got = readOrThrow(slot, sizeof slot);
    setg(slot, slot, slot + got);
    return got == 0 ? traits_type::eof() : traits_type::to_int_type(slot[0]);
}

// Large reads go straight from the file into the caller's block, without a copy through `slot`.
std::streamsize EnergyFile::Buffer::xsgetn(char* to, std::streamsize count) {
    const std::streamsize buffered = std::min<std::streamsize>(count, egptr() - gptr());
    std::copy_n(gptr(), buffered, to);
    gbump(static_cast<int>(buffered));
    return buffered + static_cast<std::streamsize>(readOrThrow(to + buffered, static_cast<std::size_t>(count - buffered)));
}
