#include "energy_file.h"

#include <algorithm>
#include <filesystem>
#include <ios>
#include <limits>
#include <system_error>

#include "file_names.h"

namespace quenvar::detail {

EnergyFile::EnergyFile(const std::string& name) {
    if (name.find('\0') != std::string::npos) return;
    const std::filesystem::path path = pathOf(name);
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return;
    file_.reset(openForReading(path));
    buffer_.file = file_.get();
    const std::uintmax_t bytes = std::filesystem::file_size(path, ignored);
    if (file_ && !ignored) buffer_.unread = static_cast<std::uint64_t>(bytes);
}

std::streamsize EnergyFile::Buffer::xsgetn(char* to, std::streamsize count) {
    const std::size_t wanted = static_cast<std::size_t>(count);
    const std::size_t got = std::fread(to, 1, wanted, file);
    if (got < wanted && std::ferror(file)) throw std::ios_base::failure("the energy file could not be read");
    unread -= std::min<std::uint64_t>(unread, got);
    return static_cast<std::streamsize>(got);
}

EnergyFileReading readEnergyFile(const std::string& name) {
    EnergyFile file(name);
    if (!file.isOpen()) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}, .extra = {}};
    return quenvar::readEnergySeries(file.stream());
}

std::streamsize EnergyFile::Buffer::showmanyc() {
    return static_cast<std::streamsize>(std::min<std::uint64_t>(unread, std::numeric_limits<std::streamsize>::max()));
}

}  // namespace quenvar::detail
