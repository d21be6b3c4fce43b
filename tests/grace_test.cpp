// Loads every chart the end-to-end cases expect into Grace itself (gracebat, headless) and checks
// what Grace made of it from the project file it saves: no complaint while parsing, set 0 a bar
// chart with error bars holding the six points, set 1 the two-point baseline, and the five labels
// under the bars. The end-to-end cases prove the charts the programs write are these bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const fs::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::vector<std::vector<double>> numbersOf(const std::vector<std::string>& rows) {
    std::vector<std::vector<double>> table;
    for (const auto& row : rows) {
        std::istringstream in(row);
        std::vector<double> numbers;
        for (double x; in >> x;) numbers.push_back(x);
        table.push_back(numbers);
    }
    return table;
}

// The data rows Grace saved for one set, between "@target G0.Sn" / "@type T" and "&".
std::vector<std::string> savedSet(const std::vector<std::string>& agr, int set, std::string& type) {
    auto at = std::find(agr.begin(), agr.end(), "@target G0.S" + std::to_string(set));
    if (at == agr.end() || ++at == agr.end()) return {};
    type = *at;
    std::vector<std::string> rows;
    while (++at != agr.end() && *at != "&") rows.push_back(*at);
    return rows;
}

std::vector<fs::path> expectedCharts() {
    std::vector<fs::path> charts;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(CASES_DIR) / "barwright")) {
        if (entry.path().extension() == ".xvg" && entry.path().parent_path().filename() == "expect") {
            charts.push_back(entry.path());
        }
    }
    std::sort(charts.begin(), charts.end());
    return charts;
}

class GraceLoadsChart : public testing::TestWithParam<fs::path> {};

TEST_P(GraceLoadsChart, AsBarChartWithBaselineAndLabels) {
    if (std::system("command -v gracebat > /dev/null 2>&1") != 0) {
        if (std::getenv("CI") != nullptr) FAIL() << "gracebat is not installed, and CI must run this check";
        GTEST_SKIP() << "gracebat is not installed";
    }
    const fs::path chart = GetParam();
    const fs::path dir = fs::temp_directory_path() / ("grace-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string command = "cd '" + dir.string() + "' && gracebat -nosafe '" + chart.string() +
                                "' -saveall saved.agr > messages.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream messages(dir / "messages.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(messages), {}), "") << "Grace complained";
    const std::vector<std::string> agr = linesOf(dir / "saved.agr");
    fs::remove_all(dir);

    const std::vector<std::string> source = linesOf(chart);
    ASSERT_EQ(source.size(), 34u);
    std::string type;
    const auto bars = numbersOf(savedSet(agr, 0, type));
    EXPECT_EQ(type, "@type bardy");
    const auto written = numbersOf({source.begin() + 25, source.begin() + 31});
    ASSERT_EQ(bars.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(bars[i].size(), 3u) << "point " << i << " lacks its error value";
        EXPECT_EQ(bars[i][0], static_cast<double>(i + 1));
        for (std::size_t k = 1; k < 3; ++k) EXPECT_NEAR(bars[i][k], written[i][k], 1e-9 * (1 + std::fabs(written[i][k])));
    }
    const auto baseline = numbersOf(savedSet(agr, 1, type));
    EXPECT_EQ(type, "@type xy");
    EXPECT_EQ(baseline, (std::vector<std::vector<double>>{{0, 0}, {6, 0}}));

    const std::string model = source[22].substr(source[22].find('"'));
    EXPECT_TRUE(model == "\"SASA\"" || model == "\"SAV\"" || model == "\"WCA\"") << model;
    const std::map<int, std::string> labels{{2, "\"VDW\""}, {4, "\"Elec\""}, {6, "\"PB\""}, {8, model}, {12, "\"Binding\""}};
    for (const auto& [tick, label] : labels) {
        const std::string saved = "@    xaxis  ticklabel " + std::to_string(tick) + ", " + label;
        EXPECT_NE(std::find(agr.begin(), agr.end(), saved), agr.end()) << "Grace did not keep " << saved;
    }
    EXPECT_NE(std::find(agr.begin(), agr.end(), "@    xaxis  tick spec 13"), agr.end());
}

INSTANTIATE_TEST_SUITE_P(Charts, GraceLoadsChart, testing::ValuesIn(expectedCharts()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.parent_path().parent_path().filename().string() + "_" +
                                                info.param.stem().string();
                             return name;
                         });

}  // namespace
