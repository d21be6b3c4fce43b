// Verdicts of a reference implementation, recorded once where the reference can be trusted
// (libstdc++'s stream extraction, glibc's sscanf) and kept in tests/data/, so that platforms whose
// own reference answers differently are held to the same verdicts. Where the live reference is
// trusted, the recorded verdicts are checked against it too, so the data cannot go stale.
// RECORD_REFERENCE_DATA=1 rewrites the files from the live reference.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "escaped_text.h"

class RecordedVerdicts {
public:
    explicit RecordedVerdicts(const std::string& name) : path_(std::filesystem::path(DATA_DIR) / name) {
        std::ifstream file(path_, std::ios::binary);
        for (std::string row; std::getline(file, row);) {
            const std::size_t tab = row.rfind('\t');
            if (tab == std::string::npos) continue;  // a comment: inputs are escaped, so rows hold one tab
            recorded_[unescaped(row.substr(0, tab))] = row.substr(tab + 1);
        }
    }
    RecordedVerdicts(const RecordedVerdicts&) = delete;
    RecordedVerdicts& operator=(const RecordedVerdicts&) = delete;

    ~RecordedVerdicts() {
        if (!recording() || rows_.empty()) return;
        std::ofstream file(path_, std::ios::binary);
        file << "# Verdicts of the live reference, one input per line (C escapes), then a tab and the verdict.\n"
                "# Written by RECORD_REFERENCE_DATA=1 unit_tests on glibc with libstdc++.\n";
        for (const auto& [input, verdict] : rows_) file << escaped(input) << '\t' << verdict << '\n';
    }

    static bool recording() { return std::getenv("RECORD_REFERENCE_DATA") != nullptr; }

    // `actual` must be the recorded verdict for `input`; `live`, where the platform's reference is
    // trusted, must be too (and is recorded instead when recording).
    void check(const std::string& input, const std::string& actual, const std::optional<std::string>& live) {
        if (live) {
            EXPECT_EQ(actual, *live) << "input \"" << escaped(input) << "\" (live reference)";
        }
        if (live && recording()) {
            rows_.emplace_back(input, *live);
            return;
        }
        const auto found = recorded_.find(input);
        if (found == recorded_.end()) {
            ADD_FAILURE() << "no verdict recorded in " << path_ << " for \"" << escaped(input)
                          << "\": run RECORD_REFERENCE_DATA=1 unit_tests on glibc";
            return;
        }
        EXPECT_EQ(actual, found->second) << "input \"" << escaped(input) << "\" (recorded reference)";
        if (live) {
            EXPECT_EQ(found->second, *live) << "recorded verdict is stale for \"" << escaped(input) << '"';
        }
    }

    // Generated inputs: the first kRecordedInputs have recorded verdicts; the rest are held to the
    // live reference alone, so a series goes past them only where that reference is trusted.
    static constexpr int kRecordedInputs = 1000;
    static int generatedInputs(int all, bool liveTrusted) { return liveTrusted ? all : kRecordedInputs; }
    void checkGenerated(int n, const std::string& input, const std::string& actual,
                        const std::optional<std::string>& live) {
        if (n < kRecordedInputs) {
            check(input, actual, live);
        } else {
            EXPECT_EQ(actual, *live) << escaped(input);
        }
    }

private:
    std::filesystem::path path_;
    std::map<std::string, std::string> recorded_;
    std::vector<std::pair<std::string, std::string>> rows_;
};

// A double as recorded: its 16 hexadecimal digits of bits, or "nan" for any NaN.
inline std::string bitsOf(double x) {
    if (x != x) return "nan";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
    return hex;
}
