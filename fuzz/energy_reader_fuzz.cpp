// The energy reader against the getline-and-extract reference, on arbitrary bytes. The first
// byte picks the reader's paths (fast where it can, or exact only) and the block size, so that
// line ends, long lines and the file's end fall on every possible block edge of each path.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "energy_reader.h"
#include "reference_readers.h"

using namespace quenvar;
using namespace quenvar::detail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto paths = static_cast<LinePaths>(data[0] % 2);
    const std::size_t blockSize = data[0] < 128 ? data[0] / 2 + 1 : kEnergyBlockSize;
    const std::string_view contents(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::istringstream file{std::string(contents)};
    const EnergyFileReading actual = detail::readEnergySeries(file, blockSize, paths);
    const EnergyFileReading expected = referenceEnergyFile(contents);

    bool same = actual.verdict == expected.verdict && actual.malformedLine == expected.malformedLine &&
                actual.series.size() == expected.series.size();
    for (std::size_t i = 0; same && i < actual.series.size(); ++i) {
        same = std::bit_cast<std::uint64_t>(actual.series[i]) == std::bit_cast<std::uint64_t>(expected.series[i]);
    }
    if (!same) {
        std::fprintf(stderr, "reader (paths %d) and reference differ (block %zu): verdict %d/%d, line %llu/%llu, %zu/%zu values\n",
                     static_cast<int>(paths), blockSize, static_cast<int>(actual.verdict), static_cast<int>(expected.verdict),
                     static_cast<unsigned long long>(actual.malformedLine),
                     static_cast<unsigned long long>(expected.malformedLine), actual.series.size(), expected.series.size());
        std::abort();
    }
    return 0;
}
