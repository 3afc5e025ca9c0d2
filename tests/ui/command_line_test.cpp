// The command line as a user types it: parsed, and answered by the real program without a
// display and without touching the settings.
#include "ui/command_line/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/wait.h>

using velmora::ui::CommandLine;
using velmora::ui::parseCommandLine;
using Action = CommandLine::Action;

TEST(CommandLine, WhatEachLineAsksFor) {
    const std::string huge(100000, 'x');
    const struct {
        std::vector<std::string> args;
        Action action;
        const char* starts; // the text begins so
    } cases[] = {
        {{}, Action::Run, ""},
        {{"ENGLISH"}, Action::Run, ""},
        {{"english", "DEUTSCH"}, Action::Run, ""},
        {{""}, Action::Run, ""},
        {{huge}, Action::Run, ""},
        {{"-"}, Action::Run, ""},
        {{"-style", "fusion", "CESKY"}, Action::Run, ""},
        {{"--platform=offscreen", "-reverse"}, Action::Run, ""},
        {{"--help"}, Action::Help, "Usage: velmora52"},
        {{"CESKY", "--help"}, Action::Help, "Použití: velmora52"},
        {{"-h", "DEUTSCH"}, Action::Help, "Aufruf: velmora52"},
        {{"--bogus", "--help"}, Action::Help, "Usage:"},
        {{"--version", "ENGLISH"}, Action::Version, "velmora52 1."},
        {{"--verbose"}, Action::Error, "velmora52: unknown option '--verbose'"},
        {{"ENGLISH", "-x"}, Action::Error, "velmora52: unknown option '-x'"},
        {{"-" + huge}, Action::Error, "velmora52: unknown option '-xxxx"},
    };
    for (const auto& c : cases) {
        const CommandLine r = parseCommandLine(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args.front().substr(0, 20);
        EXPECT_EQ(r.action, c.action) << shown;
        EXPECT_EQ(r.text.rfind(c.starts, 0), 0u) << shown << ": " << r.text.substr(0, 80);
        EXPECT_EQ(r.exitCode, c.action == Action::Error ? 2 : 0) << shown;
        EXPECT_LT(r.text.size(), 1000u) << shown;
    }
}

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run(const std::string& line) {
    Outcome r;
    FILE* p = ::popen(line.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

} // namespace

TEST(CommandLine, ProgramAnswersWithoutADisplayOrSettings) {
    char dir[] = "/tmp/velmora-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string env = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                            "XDG_CONFIG_HOME=" + dir + " HOME=" + dir + " " VELMORA_PROGRAM;
    Outcome r = run(env + " --help 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
    r = run(env + " --version 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, velmora::ui::versionLine());
    r = run(env + " --no-such-option 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown option"), std::string::npos) << r.out;
    // Nothing was written where the settings live.
    DIR* d = ::opendir(dir);
    ASSERT_NE(d, nullptr);
    int entries = 0;
    while (const dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
    ::closedir(d);
    EXPECT_EQ(entries, 0);
    ::rmdir(dir);
}
