#include "exclusive_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <system_error>

std::FILE* barwright::detail::createExclusive(const std::filesystem::path& name) noexcept {
    const int fd = _wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "w");
    if (file == nullptr) {
        _close(fd);
        std::error_code ignored;
        std::filesystem::remove(name, ignored);
    }
    return file;
}
#else
std::FILE* barwright::detail::createExclusive(const std::filesystem::path& name) noexcept {
    return std::fopen(name.c_str(), "wx");
}
#endif
