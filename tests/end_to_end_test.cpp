// Runs every case under cases/<program>/<case>/ and bad_input/<program>/<case>/ twice:
// in-process through the dialogue function and through the built binary. A case is data:
//   stdin      the answers piped in (absent: no input at all)
//   stdout     the exact transcript expected (may be absent when verify.sh checks it)
//   status     the exit status expected (absent: 0)
//   files/     copied into an empty working directory before the run
//   setup.sh   run in the working directory before the run (for inputs too large to commit)
//   limit      shell commands that constrain the binary (such as a file-size limit); such a case
//              runs through the binary only
//   expect/    files the run must leave in the working directory, byte for byte. Everything else
//              there must be exactly as before the run: no stray, temporary or half-written files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "calculator_dialogue.h"
#include "converter_dialogue.h"

namespace fs = std::filesystem;

namespace {

struct Case {
    std::string root, program, name;  // the case lives in root/program/name
    bool inProcess;
    fs::path dir() const { return fs::path(TESTS_DIR) / root / program / name; }
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.root << '/' << c.program << '/' << c.name << (c.inProcess ? " in-process" : " binary"); }

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<Case> discoverCases(const std::string& program) {
    std::vector<Case> cases;
    for (const char* root : {"cases", "bad_input"}) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::path(TESTS_DIR) / root / program)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            const Case c{root, program, name, true};
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
        const std::string relative = fs::relative(entry.path(), root).string();
        files[relative] = entry.is_directory() ? "<directory>" : slurp(entry.path());
    }
    return files;
}

int runInProcess(const Case& c, const fs::path& work, const std::string& input, std::string& output) {
    const fs::path before = fs::current_path();
    fs::current_path(work);
    std::istringstream in(input);
    std::ostringstream out;
    const int status = c.program == "quenvar" ? runQuenvar(in, out) : runBarwright(in, out);
    fs::current_path(before);
    output = out.str();
    return status;
}

int runBinary(const Case& c, const fs::path& caseDir, const fs::path& scratch, const std::string& input,
              std::string& output) {
    std::ofstream(scratch / "stdin", std::ios::binary) << input;
    const std::string limit = fs::exists(caseDir / "limit") ? slurp(caseDir / "limit") : "";
    // Standard output goes through a pipe, so a file-size limit on the program does not touch it.
    std::ofstream(scratch / "run.sh") << "cd work && set -o pipefail && ( " << limit << "\nexec "
                                      << (c.program == "quenvar" ? QUENVAR_BIN : BARWRIGHT_BIN)
                                      << " ) < ../stdin 2> ../stderr | cat > ../stdout\n";
    const int raw = std::system(("cd '" + scratch.string() + "' && bash run.sh").c_str());
    output = slurp(scratch / "stdout");
    EXPECT_EQ(slurp(scratch / "stderr"), "") << "standard error must stay unused";
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class EndToEnd : public testing::TestWithParam<Case> {};

TEST_P(EndToEnd, Transcript) {
    const Case& c = GetParam();
    const fs::path caseDir = c.dir();
    const fs::path scratch = fs::temp_directory_path() / ("e2e-" + c.root + "-" + c.program + "-" + c.name + "-" +
                                                          (c.inProcess ? "in" : "bin") + "-" + std::to_string(getpid()));
    const fs::path work = scratch / "work";
    fs::remove_all(scratch);
    fs::create_directories(work);
    if (fs::exists(caseDir / "files")) fs::copy(caseDir / "files", work, fs::copy_options::recursive);
    if (fs::exists(caseDir / "setup.sh")) {
        ASSERT_EQ(std::system(("cd '" + work.string() + "' && sh '" + (caseDir / "setup.sh").string() + "'").c_str()), 0);
    }
    std::map<std::string, std::string> expectedFiles = snapshot(work);
    for (auto& [path, contents] : snapshot(caseDir / "expect")) expectedFiles[path] = contents;

    const std::string input = fs::exists(caseDir / "stdin") ? slurp(caseDir / "stdin") : "";
    std::string output;
    const int status = c.inProcess ? runInProcess(c, work, input, output) : runBinary(c, caseDir, scratch, input, output);

    if (fs::exists(caseDir / "stdout") || !fs::exists(caseDir / "verify.sh")) {
        EXPECT_EQ(output, slurp(caseDir / "stdout"));
    }
    if (fs::exists(caseDir / "verify.sh")) {
        std::ofstream(scratch / "transcript", std::ios::binary) << output;
        EXPECT_EQ(std::system(("cd '" + work.string() + "' && sh '" + (caseDir / "verify.sh").string() + "' ../transcript").c_str()), 0)
            << "verify.sh failed";
    }
    const int expectedStatus = fs::exists(caseDir / "status") ? std::stoi(slurp(caseDir / "status")) : 0;
    EXPECT_EQ(status, expectedStatus);
    const std::map<std::string, std::string> actualFiles = snapshot(work);
    for (const auto& [path, contents] : expectedFiles) {
        auto found = actualFiles.find(path);
        if (found == actualFiles.end()) {
            ADD_FAILURE() << "missing after the run: " << path;
        } else {
            EXPECT_TRUE(found->second == contents) << "contents differ: " << path << "\n--- got:\n" << found->second;
        }
    }
    std::vector<std::string> stray;
    for (const auto& [path, contents] : actualFiles) {
        if (!expectedFiles.count(path)) stray.push_back(path);
    }
    EXPECT_TRUE(stray.empty()) << stray.size() << " stray files left by the run, such as " << stray.front();
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

}  // namespace
