// The reader anyone would write first, as the benchmark's baseline: std::getline, then a
// std::istringstream per line extracting eight doubles. The arithmetic is the program's own.
// Usage: baseline_reader FILE TEMPERATURE
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "entropy_estimator.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: baseline_reader FILE TEMPERATURE\n", stdout);
        return 2;
    }
    std::ifstream file(argv[1]);
    quenvar::EnergySeries series;
    for (std::string line; std::getline(file, line);) {
        if (line.find_first_of("#@") != std::string::npos) continue;
        std::istringstream fields(line);
        double value = 0.0;
        int read = 0;
        while (read < 8 && fields >> value) ++read;
        if (read == 8) series.push_back(value);
    }
    std::printf("%g\n", quenvar::estimateEntropyTerm(series, std::atof(argv[2])));
    return 0;
}
