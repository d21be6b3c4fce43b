#include "exclusive_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

std::FILE* createExclusive(const std::string& name) {
    const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "w");
    if (file == nullptr) {
        _close(fd);
        std::remove(name.c_str());
    }
    return file;
}
#else
std::FILE* createExclusive(const std::string& name) { return std::fopen(name.c_str(), "wx"); }
#endif
