// Loads a chart into Grace itself (gracebat, headless) and checks what Grace made of it from the
// project file it saves: no complaint while parsing; for barwright's, set 0 a bar chart with
// error bars holding the six points, set 1 the two-point baseline, the five labels under the
// bars, and where the chart sets the y range, a range that holds 0 and every error bar whole;
// for quenvar-report's convergence chart, both sets with every point and their legends. Where
// gracebat is not installed the check is skipped, unless REQUIRE_GRACE is set (as CI sets it
// where Grace can be installed); Windows has no Grace.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace grace {

inline std::vector<std::string> linesOf(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::vector<double>> numbersOf(const std::vector<std::string>& rows) {
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
inline std::vector<std::string> savedSet(const std::vector<std::string>& agr, int set, std::string& type) {
    auto at = std::find(agr.begin(), agr.end(), "@target G0.S" + std::to_string(set));
    if (at == agr.end() || ++at == agr.end()) return {};
    type = *at;
    std::vector<std::string> rows;
    while (++at != agr.end() && *at != "&") rows.push_back(*at);
    return rows;
}

inline bool available() {
    static const bool found = std::system("command -v gracebat > /dev/null 2>&1") == 0;
    return found;
}

}  // namespace grace

#ifdef _WIN32
// Grace is a Unix program; the charts' bytes are the same as on Linux, less CRs.
inline void expectGraceReadsChart(const std::filesystem::path&) {}
inline void expectGraceReadsPlot(const std::filesystem::path&) {}
#else
namespace grace {

// The project Grace saves after loading the chart, without a complaint; empty where there is no
// Grace to ask.
inline std::vector<std::string> savedProject(const std::filesystem::path& chart) {
    namespace fs = std::filesystem;
    if (!available()) {
        if (std::getenv("REQUIRE_GRACE") != nullptr) ADD_FAILURE() << "gracebat is not installed, and REQUIRE_GRACE asks for the Grace check";
        return {};
    }
    const fs::path dir = chart.parent_path().parent_path() / "grace";
    fs::create_directories(dir);
    const std::string command = "cd '" + dir.string() + "' && gracebat -nosafe '" + chart.string() +
                                "' -saveall saved.agr > messages.txt 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << chart;
    EXPECT_EQ(linesOf(dir / "messages.txt"), std::vector<std::string>{}) << "Grace complained about " << chart;
    std::vector<std::string> agr = linesOf(dir / "saved.agr");
    fs::remove_all(dir);
    EXPECT_FALSE(agr.empty()) << chart;
    return agr;
}

}  // namespace grace

// quenvar-report's convergence chart: two line sets of the same frame counts, with their legends.
inline void expectGraceReadsPlot(const std::filesystem::path& chart) {
    const std::vector<std::string> agr = grace::savedProject(chart);
    if (agr.empty()) return;
    const std::vector<std::string> source = grace::linesOf(chart);
    const auto firstPoint = std::find(source.begin(), source.end(), "@TYPE xy") + 1;
    const auto end = std::find(firstPoint, source.end(), "&");
    const auto written = grace::numbersOf({firstPoint, end});
    ASSERT_GE(written.size(), 1u) << chart;
    std::string type;
    for (int set : {0, 1}) {
        const auto points = grace::numbersOf(grace::savedSet(agr, set, type));
        EXPECT_EQ(type, "@type xy") << chart << ": set " << set;
        ASSERT_EQ(points.size(), written.size()) << chart << ": set " << set;
        for (std::size_t i = 0; i < points.size(); ++i) EXPECT_EQ(points[i].at(0), written[i].at(0)) << chart;
    }
    for (const char* legend : {"@    s0 legend  \"Interaction entropy\"", "@    s1 legend  \"Second order (C2)\""}) {
        EXPECT_NE(std::find(agr.begin(), agr.end(), legend), agr.end()) << chart << ": Grace did not keep " << legend;
    }
    // The y axis names the unit of the energies.
    const auto label = std::find_if(source.begin(), source.end(), [](const std::string& line) { return line.starts_with("@    yaxis  label \""); });
    ASSERT_NE(label, source.end()) << chart;
    EXPECT_NE(std::find(agr.begin(), agr.end(), *label), agr.end()) << chart << ": Grace did not keep " << *label;
}

inline void expectGraceReadsChart(const std::filesystem::path& chart) {
    const std::vector<std::string> agr = grace::savedProject(chart);
    if (agr.empty()) return;

    const std::vector<std::string> source = grace::linesOf(chart);
    ASSERT_TRUE(source.size() == 34u || source.size() == 37u) << chart;
    std::string type;
    const auto bars = grace::numbersOf(grace::savedSet(agr, 0, type));
    EXPECT_EQ(type, "@type bardy") << chart;
    const auto written = grace::numbersOf({source.begin() + 25, source.begin() + 31});
    ASSERT_EQ(bars.size(), 6u) << chart;
    for (std::size_t i = 0; i < 6; ++i) {
        ASSERT_EQ(bars[i].size(), 3u) << chart << ": point " << i << " lacks its error value";
        EXPECT_EQ(bars[i][0], static_cast<double>(i + 1)) << chart;
        for (std::size_t k = 1; k < 3; ++k) {  // Grace saves eight significant digits
            EXPECT_NEAR(bars[i][k], written[i][k], 1e-7 * (1 + std::fabs(written[i][k]))) << chart;
        }
    }
    if (source.size() == 37u) {
        const auto world = std::find_if(agr.begin(), agr.end(), [](const std::string& l) { return l.starts_with("@    world "); });
        ASSERT_NE(world, agr.end()) << chart;
        std::string corners = world->substr(11);
        std::replace(corners.begin(), corners.end(), ',', ' ');
        const std::vector<double> box = grace::numbersOf({corners}).front();  // x0 y0 x1 y1
        ASSERT_EQ(box.size(), 4u) << chart << ": " << *world;
        // A bar ending on a bound (-0.05 - 0.01 on -0.06) ends an ulp past it in binary: a billionth
        // of the height is far below a pixel.
        const double slack = 1e-9 * (box[3] - box[1]);
        for (const auto& bar : written) {
            EXPECT_TRUE(box[1] - slack <= std::min(0.0, bar[1] - std::fabs(bar[2])) &&
                        std::max(0.0, bar[1] + std::fabs(bar[2])) <= box[3] + slack)
                << chart << ": Grace's " << *world << " cuts the bar " << bar[0] << " " << bar[1] << " +- " << bar[2];
        }
    }
    const auto baseline = grace::numbersOf(grace::savedSet(agr, 1, type));
    EXPECT_EQ(type, "@type xy") << chart;
    EXPECT_EQ(baseline, (std::vector<std::vector<double>>{{0, 0}, {6, 0}})) << chart;

    const std::string model = source[22].substr(source[22].find('"'));
    EXPECT_TRUE(model == "\"SASA\"" || model == "\"SAV\"" || model == "\"WCA\"") << chart << ": " << model;
    const std::map<int, std::string> labels{{2, "\"VDW\""}, {4, "\"Elec\""}, {6, "\"PB\""}, {8, model}, {12, "\"Binding\""}};
    for (const auto& [tick, label] : labels) {
        const std::string saved = "@    xaxis  ticklabel " + std::to_string(tick) + ", " + label;
        EXPECT_NE(std::find(agr.begin(), agr.end(), saved), agr.end()) << chart << ": Grace did not keep " << saved;
    }
    EXPECT_NE(std::find(agr.begin(), agr.end(), "@    xaxis  tick spec 13"), agr.end()) << chart;
}
#endif
