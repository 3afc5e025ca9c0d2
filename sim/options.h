// Command line of the simulated unit.
#pragma once

#include "link/wideband.h"
#include "model/calibration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::sim {

struct SimOptions {
    std::string linkPath;
    // Identification; unset fields keep what the image file holds, or the defaults.
    std::optional<std::string> name;
    std::optional<int> number, day, month, year, hour, minute;
    std::optional<int> readEnable, formatVersion;
    std::string imageFile, paramsFile;
    int model = 6;
    int programmingCount = 0;
    double startWaterC = 20.0;
    // Engine speed and throttle held at these values instead of the scenario's (negative: not
    // held).
    int holdRpm = -1;
    int holdThrottle = -1;

    int monitorMs = 100;
    // Delay of the first monitor frame after the host opens the line, beyond monitorMs, to
    // put the frames at any phase of the host's tick.
    int phaseMs = 0;
    // Scenario of the simulated engine, and simulated seconds per real second.
    bool ride = false;
    double timeScale = 1.0;
    bool monitorInExchange = false;
    int gapMs = 70;
    int baud = 9600;

    std::uint64_t seed = 1;
    double dropProbability = 0.0;
    double corruptProbability = 0.0;
    int wrongEchoBlock = 0;
    int lateMs = 0;
    double lateProbability = 1.0;

    // The engine's hidden fuel requirement: a map text file, or a seeded pattern of
    // +-requirementSpread % over the starting map; neither: the engine needs what the map gives.
    std::string requirementFile;
    std::optional<std::uint64_t> requirementSeed;
    double requirementSpread = 20.0;
    int delayMsAt3000 = 200; // transport delay to the lambda sensors at 3000 rpm

    // A wide-band lambda controller on a pseudo-terminal of its own; empty: none.
    std::string widebandPath;
    WidebandProtocol widebandProtocol = WidebandProtocol::InnovateMts;
    bool widebandAfr = true; // the text protocols send AFR, else lambda
    double widebandStoich = 14.7;
    double widebandWarmupS = 0.0;                         // warm-up status for these engine seconds
    double widebandErrorAtS = -1.0, widebandErrorS = 2.0; // sensor error from, for; -1: never
    double widebandJunk = 0.0; // probability that a reading has a damaged byte

    std::string logFile, saveImageFile;
    bool help = false;
};

struct ParseResult {
    SimOptions options;
    std::string error; // empty when the command line was understood
};

ParseResult parseOptions(const std::vector<std::string>& args);

std::string helpText();

// The unit's starting image: the image or parameter file, else the default calibration
// of the chosen model, with the identification options applied to block 0.
struct ImageResult {
    Image image{};
    std::string error;
};
ImageResult buildInitialImage(const SimOptions& options);

} // namespace velmora::sim
