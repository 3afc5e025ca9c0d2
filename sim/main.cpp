#include "sim/options.h"
#include "sim/server.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace velmora::sim;
    const ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "velmora52-sim: %s\nTry --help.\n", parsed.error.c_str());
        return 2;
    }
    const ImageResult image = buildInitialImage(parsed.options);
    if (!image.error.empty()) {
        std::fprintf(stderr, "velmora52-sim: %s\n", image.error.c_str());
        return 1;
    }
    return runSimulator(parsed.options, image.image);
}
