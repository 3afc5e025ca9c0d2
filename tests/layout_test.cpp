// The shape of the code: which folder may include which. Each folder includes only folders
// below it (directly or through one it may include), so there is no cycle; the specified window
// knows none of the windows added around it, and nothing outside it looks its widgets up by
// name.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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
    {"ui/log", {"ui/main_window", "log", "analysis"}},
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

// The folders of the project's own headers a file includes: #include "ui/map/x.h" -> ui/map.
std::vector<std::string> includedFolders(const std::string& text) {
    std::vector<std::string> out;
    const std::string key = "#include \"";
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const std::size_t begin = at + key.size();
        const std::size_t end = text.find('"', begin);
        const std::string path = text.substr(begin, end - begin);
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos) out.push_back(path.substr(0, slash));
    }
    return out;
}

// findChild<T>("Name"), findChildren<T>(QString("Edit%1")...): a look-up by object name.
bool looksUpByName(const std::string& text) {
    for (std::size_t at = text.find("findChild"); at != std::string::npos;
         at = text.find("findChild", at + 1)) {
        const std::size_t open = text.find(">(", at);
        if (open == std::string::npos) return false;
        std::size_t p = open + 2;
        while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
        for (const char* wrap : {"QStringLiteral(", "QLatin1String(", "QString("}) {
            if (text.compare(p, std::strlen(wrap), wrap) == 0) {
                p += std::strlen(wrap);
                break;
            }
        }
        if (p < text.size() && text[p] == '"') return true;
    }
    return false;
}

} // namespace

TEST(Layout, FoldersIncludeOnlyWhatLiesBelowThem) {
    const fs::path root(VELMORA_SOURCE_DIR);
    for (const auto& [folder, direct] : kAllowed) {
        ASSERT_EQ(closure(folder).count(folder), 0u) << folder << " is part of a cycle";
        for (const std::string& d : direct) ASSERT_TRUE(kAllowed.count(d)) << d;
    }
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
            for (const std::string& target : includedFolders(text))
                EXPECT_TRUE(may.count(target)) << name << " includes a file of " << target;
            if (folder != "ui/main_window") {
                EXPECT_FALSE(looksUpByName(text)) << name << " looks a widget up by name";
            }
        }
    }
    EXPECT_GT(files, 100);
}
