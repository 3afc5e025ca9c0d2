// The shape of the code: which folder may include which. Each folder includes only folders
// below it (directly or through one it may include), so there is no cycle; the specified window
// knows none of the windows added around it, and nothing outside it looks its widgets up by
// name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// What each folder may include besides itself, directly; the rest follows by closure.
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"model", {}},
    {"lang", {}},
    {"link", {"model", "lang"}},
    {"files", {"model"}},
    {"history", {"model", "files", "lang"}},
    {"log", {"link", "files"}},
    {"analysis", {"model", "link", "log"}},
    {"sim", {"link", "files"}},
    {"ui/command_line", {"lang"}},
    {"ui/main_window", {"model", "lang", "link", "files", "history"}},
    {"ui/ports", {"ui/main_window"}},
    {"ui/history", {"ui/main_window"}},
    {"ui/log", {"ui/main_window", "log"}},
    {"ui/map", {"ui/main_window", "analysis"}},
    {"ui", {"ui/command_line", "ui/ports", "ui/history", "ui/log", "ui/map"}},
};

std::set<std::string> closure(const std::string& folder) {
    std::set<std::string> out;
    std::vector<std::string> todo{folder};
    while (!todo.empty()) {
        const std::string f = todo.back();
        todo.pop_back();
        for (const std::string& d : kAllowed.at(f))
            if (out.insert(d).second) todo.push_back(d);
    }
    return out;
}

std::string read(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(Layout, FoldersIncludeOnlyWhatLiesBelowThem) {
    const fs::path root(VELMORA_SOURCE_DIR);
    for (const auto& [folder, direct] : kAllowed) {
        ASSERT_EQ(closure(folder).count(folder), 0u) << folder << " is part of a cycle";
        for (const std::string& d : direct) ASSERT_TRUE(kAllowed.count(d)) << d;
    }
    const std::regex include(R"re(#include "([a-z_/]+)/[a-z_0-9]+\.h")re");
    // A look-up by object name: findChild<T>("Name"), findChild<T>(QString("Edit%1")...).
    const std::regex byName(
        R"re(findChild(ren)?<[^>]+>\(\s*(Q(String|StringLiteral|Latin1String))?\(?")re");
    int files = 0;
    for (const auto& [folder, direct] : kAllowed) {
        std::set<std::string> may = closure(folder);
        may.insert(folder);
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h") continue;
            ++files;
            const std::string text = read(entry.path());
            const std::string name = folder + "/" + entry.path().filename().string();
            for (std::sregex_iterator m(text.begin(), text.end(), include), end; m != end; ++m) {
                const std::string target = (*m)[1];
                EXPECT_TRUE(may.count(target)) << name << " includes " << m->str();
            }
            if (folder != "ui/main_window") {
                EXPECT_FALSE(std::regex_search(text, byName))
                    << name << " looks a widget up by name";
            }
        }
    }
    EXPECT_GT(files, 100);
}
