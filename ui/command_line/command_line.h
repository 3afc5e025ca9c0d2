// What the command line asks of the program before any window exists: run, print the usage or
// the version, or refuse an option it does not know. Plain C++, so it answers without a display.
#pragma once

#include <string>
#include <vector>

namespace velmora::ui {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string text; // the usage, the version line or the error message, ending in a newline
    int exitCode = 0; // for anything but Run
};

// arguments: the command line without the program name. The first argument that is not an
// option keeps its meaning as the language ("ENGLISH", "CESKY", "DEUTSCH"); the usage is
// printed in that language, in English otherwise. Options of the toolkit (-platform, -style,
// ...) are left to it.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// "velmora52 1.0.0"
std::string versionLine();

} // namespace velmora::ui
