// Runs tests/tools/mlg_check.js, the independent reader of the mlg-converter package, on a log
// and compares every record with the expected ones (NaN where a channel holds no value).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "log/channels.h"

namespace velmora::log {

// 0 when it agrees, 77 when node or the package is missing (outside CI), 1 otherwise.
inline int mlgConverterCheck(const std::string& log, const std::vector<Record>& records,
                             std::size_t markers, const std::string& dir) {
    const std::string tools = std::string(VELMORA_SOURCE_DIR) + "/tests/tools";
    if (std::system("command -v node >/dev/null 2>&1") != 0 ||
        access((tools + "/node_modules/mlg-converter/package.json").c_str(), R_OK) != 0) {
        std::printf("mlg-converter: not installed (scripts/install-deps.sh installs it)\n");
        return std::getenv("CI") != nullptr ? 1 : 77;
    }
    const std::string expected = dir + "/expected.csv";
    {
        std::ofstream out(expected);
        for (std::size_t c = 0; c < ChannelCount; ++c) out << (c ? "," : "") << channels()[c].name;
        out << "\n";
        char cell[40];
        for (const Record& r : records) {
            for (std::size_t c = 0; c < ChannelCount; ++c) {
                // A float channel holds the value rounded to single precision.
                const double v = channels()[c].type == FieldType::F32
                                     ? static_cast<double>(static_cast<float>(r[c]))
                                     : r[c] * static_cast<double>(channels()[c].scale);
                std::snprintf(cell, sizeof cell, "%s%.9g", c ? "," : "", v);
                out << cell;
            }
            out << "\n";
        }
    }
    const std::string command = "MLG_MARKERS=" + std::to_string(markers) + " node '" + tools +
                                "/mlg_check.js' '" + log + "' '" + expected + "'";
    std::fflush(stdout);
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

} // namespace velmora::log
