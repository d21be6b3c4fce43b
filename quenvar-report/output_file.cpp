#include "output_file.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "file_names.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace quenvar_report {
namespace {

namespace fs = std::filesystem;

// Opens a file for writing text; `exclusive` fails where the name exists already, so that a
// temporary file never takes over another file or follows a link planted under its name. The
// Windows C runtime ignores fopen's "x" mode, and has _O_EXCL instead.
std::FILE* openForWriting(const fs::path& path, bool exclusive) {
#ifdef _WIN32
    if (!exclusive) return _wfopen(path.c_str(), L"w");
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "w");
    if (fd >= 0 && file == nullptr) _close(fd);
    return file;
#else
    return std::fopen(path.c_str(), exclusive ? "wx" : "w");
#endif
}

// Writes the text and closes the file; false where any step failed.
bool writeAndClose(std::FILE* file, const std::string& text) {
    if (file == nullptr) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && written;
    return std::fclose(file) == 0 && written;
}

// The file a chain of symbolic links ends at, or the name itself where it is no link.
fs::path linkTarget(fs::path path) {
    std::error_code failed;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, failed)); ++hops) {
        const fs::path to = fs::read_symlink(path, failed);
        if (failed) break;
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    return path;
}

}  // namespace

bool writeOutputFile(const std::string& name, const std::string& text) {
    const fs::path given = quenvar::detail::pathOf(name);
    std::error_code failed;
    const fs::file_status status = fs::status(given, failed);
    if (fs::exists(status) && !fs::is_regular_file(status)) return writeAndClose(openForWriting(given, false), text);

    const fs::path target = linkTarget(given);
    std::random_device entropy;
    fs::path temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(entropy()));
        fs::path hidden = ".";
        hidden += target.filename();
        hidden += suffix;
        temporary = target.parent_path() / hidden;
        file = openForWriting(temporary, true);
        if (file == nullptr && !fs::exists(fs::symlink_status(temporary, failed))) return false;  // not a name taken
    }
    if (file == nullptr) return false;
    bool written = writeAndClose(file, text);
    // An existing chart keeps its permission bits; where the file system has none to set, the
    // chart is still written.
    if (written && fs::is_regular_file(status)) fs::permissions(temporary, status.permissions(), failed);
    if (written) {
        fs::rename(temporary, target, failed);
        written = !failed;
    }
    if (!written) fs::remove(temporary, failed);
    return written;
}

bool sameFile(const std::string& first, const std::string& second) {
    std::error_code failed;
    return fs::equivalent(quenvar::detail::pathOf(first), quenvar::detail::pathOf(second), failed) && !failed;
}

}  // namespace quenvar_report
