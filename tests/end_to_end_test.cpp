// Runs every case under cases/<program>/<case>/ and bad_input/<program>/<case>/ twice:
// in-process through the program's function and through the built binary. A case is data:
//   args       quenvar-report's arguments, one a line (UTF-8)
//   stdin      the answers piped in (absent: no input at all)
//   stdout     the exact transcript expected (may be absent when verify.sh checks it)
//   stderr     what standard error must hold (absent: nothing; quenvar and barwright never use it)
//   stdout.windows  the transcript on Windows, where it differs (text-mode input ends at a Ctrl-Z
//              byte, and a name that is not UTF-8 is read in the ANSI code page)
//   status     the exit status expected (absent: 0)
//   files/     copied into an empty working directory before the run
//   setup      more of the working directory, for what git cannot hold or is too large to commit,
//              one line each (a name with blanks in double quotes, UTF-8 like the whole file):
//              "mkdir DIR"; "write FILE PIECE..." where a piece is "text" with
//              C escapes (\x22 for a double quote), N*"text" (N copies; {i} in the text counts
//              them from 1), or <NAME (the bytes of a file already there); "size FILE BYTES",
//              which extends FILE with zero bytes (sparse where the file system allows); or
//              "copy FILE SOURCE", SOURCE being a file of the project (such as examples/...)
//   limit      shell commands that constrain the binary (such as a file-size limit, or standard
//              output on a full device: exec > /dev/full); such a case
//              runs through the binary only, and not on Windows, nor under the sanitizers where
//              it limits the address space (they reserve terabytes of it), nor where the system
//              refuses the commands (macOS has no address-space limit)
//   verify.sh  a shell script that checks results too large to commit (not on Windows)
//   needs      paths the case means nothing without, one per line (such as /proc/self/mem, a file
//              that opens but cannot be read): the case skips itself where one is missing
//   expect/    files the run must leave in the working directory, byte for byte. Everything else
//              there must be exactly as before the run: no stray, temporary or half-written files.
//   not_for_grace  why the case's charts hold numbers Grace cannot read (near the double limit)
// On Linux and macOS every run sees HOME=home, a folder of the working directory (give it in files/ where it should
// exist), so that a name typed as "~/..." is echoed the same wherever the case runs.
// Every chart a binary run leaves is also loaded into Grace (where gracebat exists), but for a
// case with a not_for_grace file.
// On Windows, a carriage return before each line end is ignored in transcripts and files, and
// the binary's transcript and charts must have one there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "address_sanitizer.h"
#include "calculator_dialogue.h"
#include "converter_dialogue.h"
#include "report.h"
#include "escaped_text.h"
#include "grace_check.h"

#ifdef _WIN32
constexpr bool kWindows = true;
int exitCode(int raw) { return raw; }
// The command may hold any text: it goes as wide characters.
int shell(const std::string& utf8) { return _wsystem(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).c_str()); }
#else
#include <sys/wait.h>
constexpr bool kWindows = false;
int exitCode(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }
int shell(const std::string& command) { return std::system(command.c_str()); }
#endif

namespace fs = std::filesystem;

namespace {

// Made absolute before any test changes directory: on Windows a path such as "/work/tests"
// belongs to whatever drive is current.
const fs::path kTestsDir = fs::absolute(TESTS_DIR);
const fs::path kQuenvar = fs::absolute(QUENVAR_BIN).make_preferred();
const fs::path kBarwright = fs::absolute(BARWRIGHT_BIN).make_preferred();
const fs::path kReport = fs::absolute(REPORT_BIN).make_preferred();

// Cases that cannot run on Windows, besides those that need a shell (limit, verify.sh), and
// cases for Windows alone.
const std::map<std::string, std::string> kLeftOutOnWindows{
    {"hundred_thousand_complexes", "too slow under wine: 100,000 chart files"},
    {"long_file_name", "a path of over 600 characters is beyond Windows' 260"},
    {"backslash_escaped_name", "a backslash is the path separator there, not an escape"},
    {"home_directory", "no shell there gives \"~\" a meaning"},
    {"shell_word_name", "a backslash is the path separator there, and no shell gives \"~\" a meaning"},
};
const std::map<std::string, std::string> kWindowsOnly{
    {"accented_folder_cp1252", "a name in CP1252 bytes opens the folder only where names are text"},
    {"accented_folder_cp437", "a name in the console's code page opens the folder only where names are text"},
};

struct Case {
    std::string root, program, name;  // the case lives in root/program/name
    bool inProcess;
    fs::path dir() const { return kTestsDir / root / program / name; }
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.root << '/' << c.program << '/' << c.name << (c.inProcess ? " in-process" : " binary"); }

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Whether this platform and build can run the case at all.
bool runsHere(const Case& c) {
    const bool limited = fs::exists(c.dir() / "limit");
    if constexpr (kWindows) {
        return !limited && !fs::exists(c.dir() / "verify.sh") && kLeftOutOnWindows.count(c.name) == 0;
    } else {
        const bool limitsAddressSpace = limited && slurp(c.dir() / "limit").find("ulimit -v") != std::string::npos;
        return kWindowsOnly.count(c.name) == 0 && !(kAddressSanitizer && limitsAddressSpace);
    }
}

std::vector<Case> discoverCases(const std::string& program) {
    std::vector<Case> cases;
    for (const char* root : {"cases", "bad_input"}) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(kTestsDir / root / program)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            const Case c{root, program, name, true};
            if (!runsHere(c)) continue;
            if (!fs::exists(c.dir() / "limit")) cases.push_back(c);
            cases.push_back({root, program, name, false});
        }
    }
    return cases;
}

// Relative path -> contents of every file below root; directories show as "<directory>".
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        files[relative] = entry.is_directory() ? "<directory>" : slurp(entry.path());
    }
    return files;
}

// Text as compared: on Windows without the carriage return that text mode puts before a line end.
std::string comparable(std::string text) {
    if constexpr (kWindows) {
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    }
    return text;
}

[[maybe_unused]] bool everyLineEndIsCrLf(const std::string& text) {  // used on Windows alone
    return std::count(text.begin(), text.end(), '\n') == static_cast<std::ptrdiff_t>(text.size() - comparable(text).size());
}

// Carries out the case's `setup` lines in `work` (see the top of this file).
void performSetup(const fs::path& setup, const fs::path& work) {
    std::ifstream lines(setup);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string verb, name;
        if (!(words >> verb) || verb[0] == '#') continue;
        words >> std::quoted(name);
        // Names are UTF-8 text on every platform.
        const fs::path path = fs::path(std::u8string(name.begin(), name.end()));
        if (verb == "mkdir") {
            fs::create_directories(work / path);
            continue;
        }
        if (verb == "copy") {
            std::string source;
            ASSERT_TRUE(words >> source) << line;
            fs::copy_file(kTestsDir.parent_path() / source, work / path);
            continue;
        }
        if (verb == "size") {
            std::uintmax_t bytes = 0;
            ASSERT_TRUE(words >> bytes) << line;
            fs::resize_file(work / path, bytes);
            continue;
        }
        ASSERT_EQ(verb, "write") << line;
        fs::create_directories((work / path).parent_path());
        std::string contents;
        while ((words >> std::ws).peek() != std::char_traits<char>::eof()) {
            if (words.peek() == '<') {
                std::string from;
                words.ignore() >> from;
                contents += slurp(work / from);
                continue;
            }
            long count = 1;
            if (words.peek() != '"') {
                ASSERT_TRUE(words >> count && words.get() == '*') << line;
            }
            std::string text;
            ASSERT_TRUE(words.get() == '"' && std::getline(words, text, '"')) << line;
            text = unescaped(text);
            const std::size_t counter = text.find("{i}");
            for (long i = 1; i <= count; ++i) {
                contents += counter == std::string::npos ? text : text.substr(0, counter) + std::to_string(i) + text.substr(counter + 3);
            }
        }
        std::ofstream(work / path, std::ios::binary) << contents;
    }
}

struct Outcome {
    int status;
    std::string out, err;
};

std::vector<std::string> argumentsOf(const fs::path& caseDir) {
    std::ifstream file(caseDir / "args", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(file, arg);) args.push_back(arg);
    return args;
}

Outcome runInProcess(const Case& c, const fs::path& work, const std::string& input) {
    const fs::path before = fs::current_path();
    fs::current_path(work);
#ifndef _WIN32
    const char* const given = std::getenv("HOME");
    const std::optional<std::string> home = given != nullptr ? std::optional<std::string>(given) : std::nullopt;
    setenv("HOME", "home", 1);
#endif
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = c.program == "quenvar"   ? quenvar::runQuenvar(in, out)
                       : c.program == "barwright" ? barwright::runBarwright(in, out)
                                                  : quenvar_report::runReport(argumentsOf(c.dir()), in, out, err);
#ifndef _WIN32
    home ? setenv("HOME", home->c_str(), 1) : unsetenv("HOME");
#endif
    fs::current_path(before);
    return {status, out.str(), err.str()};
}

Outcome runBinary(const Case& c, const fs::path& caseDir, const fs::path& scratch, const std::string& input) {
    std::ofstream(scratch / "stdin", std::ios::binary) << input;
    const fs::path& binary = c.program == "quenvar" ? kQuenvar : c.program == "barwright" ? kBarwright : kReport;
    std::string args;
    for (const std::string& arg : argumentsOf(caseDir)) {
        std::string quoted;
        for (char ch : arg) quoted += !kWindows && ch == '\'' ? std::string("'\\''") : std::string(1, ch);
        args += kWindows ? " \"" + quoted + "\"" : " '" + quoted + "'";
    }
    int raw = 0;
    if constexpr (kWindows) {
        // cmd.exe drops the outermost quotes of the whole command line.
        const std::string command = "\"cd /d \"" + (scratch / "work").string() + "\" && \"" + binary.string() + "\"" + args +
                                    " < ..\\stdin > ..\\stdout 2> ..\\stderr\"";
        raw = shell(command);
    } else {
        const std::string limit = fs::exists(caseDir / "limit") ? slurp(caseDir / "limit") : "";
        // Standard output goes through a pipe, so a file-size limit on the program does not touch it.
        std::ofstream(scratch / "run.sh") << "cd work && export HOME=home && set -o pipefail && ( " << limit << "\nexec '" << binary.string()
                                          << "'" << args << " ) < ../stdin 2> ../stderr | cat > ../stdout\n";
        raw = shell("cd '" + scratch.string() + "' && bash run.sh");
    }
    const Outcome run{exitCode(raw), slurp(scratch / "stdout"), slurp(scratch / "stderr")};
    if constexpr (kWindows) {
        EXPECT_TRUE(everyLineEndIsCrLf(run.out)) << "console output is text: CRLF on Windows";
    }
    return run;
}

std::string randomToken() {
    std::random_device entropy;
    return std::to_string(entropy()) + std::to_string(entropy());
}

class EndToEnd : public testing::TestWithParam<Case> {};

TEST_P(EndToEnd, Transcript) {
    const Case& c = GetParam();
    const fs::path caseDir = c.dir();
    // Not every system lets a shell set every limit (macOS has no address-space limit).
    if (fs::exists(caseDir / "limit") && std::system(("bash -c '. \"" + (caseDir / "limit").string() + "\"' 2> /dev/null").c_str()) != 0) {
        GTEST_SKIP() << "this system does not take the case's limit";
    }
    std::ifstream needs(caseDir / "needs");
    for (std::string path; std::getline(needs, path);) {
        if (!fs::exists(path)) GTEST_SKIP() << "this system has no " << path;
    }
    const fs::path scratch = fs::temp_directory_path() / ("e2e-" + c.root + "-" + c.program + "-" + c.name + "-" +
                                                          (c.inProcess ? "in" : "bin") + "-" + randomToken());
    const fs::path work = scratch / "work";
    fs::remove_all(scratch);
    fs::create_directories(work);
    if (fs::exists(caseDir / "files")) fs::copy(caseDir / "files", work, fs::copy_options::recursive);
    if (fs::exists(caseDir / "setup")) {
        ASSERT_NO_FATAL_FAILURE(performSetup(caseDir / "setup", work));
    }
    std::map<std::string, std::string> expectedFiles = snapshot(work);
    std::vector<std::string> charts;  // the charts the run must write
    for (auto& [path, contents] : snapshot(caseDir / "expect")) {
        expectedFiles[path] = contents;
        if (path.ends_with(".xvg")) charts.push_back(path);
    }

    std::string input = fs::exists(caseDir / "stdin") ? slurp(caseDir / "stdin") : "";
    // Windows reads a program's standard input as text, which ends at a Ctrl-Z byte: the dialogue
    // in-process is given what the binary reads.
    if constexpr (kWindows) {
        if (c.inProcess) input.resize(std::min(input.find('\x1a'), input.size()));
    }
    const Outcome run = c.inProcess ? runInProcess(c, work, input) : runBinary(c, caseDir, scratch, input);

    const bool windowsTranscript = kWindows && fs::exists(caseDir / "stdout.windows");
    if (fs::exists(caseDir / "stdout") || !fs::exists(caseDir / "verify.sh")) {
        EXPECT_EQ(comparable(run.out), comparable(slurp(caseDir / (windowsTranscript ? "stdout.windows" : "stdout"))));
    }
    EXPECT_EQ(comparable(run.err), comparable(slurp(caseDir / "stderr"))) << "standard error";
    if (fs::exists(caseDir / "verify.sh")) {
        std::ofstream(scratch / "transcript", std::ios::binary) << run.out;
        EXPECT_EQ(std::system(("cd '" + work.string() + "' && sh '" + (caseDir / "verify.sh").string() + "' ../transcript").c_str()), 0)
            << "verify.sh failed";
    }
    const int expectedStatus = fs::exists(caseDir / "status") ? std::stoi(slurp(caseDir / "status")) : 0;
    EXPECT_EQ(run.status, expectedStatus);
    const std::map<std::string, std::string> actualFiles = snapshot(work);
    for (const auto& [path, contents] : expectedFiles) {
        auto found = actualFiles.find(path);
        if (found == actualFiles.end()) {
            ADD_FAILURE() << "missing after the run: " << path;
        } else {
            EXPECT_TRUE(comparable(found->second) == comparable(contents)) << "contents differ: " << path << "\n--- got:\n" << found->second;
        }
    }
    std::vector<std::string> stray;
    for (const auto& [path, contents] : actualFiles) {
        if (!expectedFiles.count(path)) stray.push_back(path);
    }
    EXPECT_TRUE(stray.empty()) << stray.size() << " stray files left by the run, such as " << stray.front();
    for (const std::string& chart : charts) {
        if constexpr (kWindows) {
            EXPECT_TRUE(everyLineEndIsCrLf(slurp(work / chart))) << chart << ": charts are text, CRLF on Windows";
        }
        if (c.inProcess || fs::exists(caseDir / "not_for_grace")) continue;
        c.program == "barwright" ? expectGraceReadsChart(work / chart) : expectGraceReadsPlot(work / chart);
    }
    if (!HasFailure()) fs::remove_all(scratch);
}

// Test names allow letters, digits and underscores only: "field_1e-400" runs as "field_1e_400".
std::string caseName(const testing::TestParamInfo<Case>& info) {
    std::string name = info.param.root + "_" + info.param.name + (info.param.inProcess ? "_inprocess" : "_binary");
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Quenvar, EndToEnd, testing::ValuesIn(discoverCases("quenvar")), caseName);
INSTANTIATE_TEST_SUITE_P(Barwright, EndToEnd, testing::ValuesIn(discoverCases("barwright")), caseName);
INSTANTIATE_TEST_SUITE_P(Report, EndToEnd, testing::ValuesIn(discoverCases("quenvar-report")), caseName);

}  // namespace
