#include "profile_store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

constexpr std::size_t npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct ParsedLine {
    enum Kind { Other, Section, Entry } kind = Other;
    std::string_view name;      // section name or key, trimmed
    std::size_t valueBegin = 0; // entries: first character after '=' and its blanks
};

ParsedLine parseLine(std::string_view text) {
    ParsedLine p;
    // A byte order mark left by an editor at the start of the file is not part of the line.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    const std::size_t skip = text.substr(0, bom.size()) == bom ? bom.size() : 0;
    const std::string_view t = trim(text.substr(skip));
    if (t.empty() || t.front() == ';' || t.front() == '#') return p;
    if (t.front() == '[') {
        std::string_view name = t.substr(1);
        name = name.substr(0, name.find(']'));
        p.kind = ParsedLine::Section;
        p.name = trim(name);
        return p;
    }
    const auto eq = text.find('=', skip);
    if (eq == npos) return p;
    p.kind = ParsedLine::Entry;
    p.name = trim(text.substr(skip, eq - skip));
    p.valueBegin = eq + 1;
    while (p.valueBegin < text.size() && isBlank(text[p.valueBegin])) ++p.valueBegin;
    return p;
}

std::optional<int> parseInt(std::string_view v) {
    std::size_t i = 0;
    bool negative = false;
    if (!v.empty() && (v[0] == '+' || v[0] == '-')) {
        negative = v[0] == '-';
        i = 1;
    }
    if (i == v.size()) return std::nullopt;
    std::int64_t n = 0;
    for (; i < v.size(); ++i) {
        if (v[i] < '0' || v[i] > '9') return std::nullopt;
        n = n * 10 + (v[i] - '0');
        if (n > 2147483648LL) return std::nullopt;
    }
    if (negative) return static_cast<int>(-n);
    if (n > 2147483647LL) return std::nullopt;
    return static_cast<int>(n);
}

} // namespace

bool ProfileStore::Stamp::operator==(const Stamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtimeSec == o.mtimeSec && mtimeNsec == o.mtimeNsec && ctimeSec == o.ctimeSec &&
           ctimeNsec == o.ctimeNsec;
}

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)), file_(path_) {}

ProfileStore::Stamp ProfileStore::stampOf(const std::string& path) {
    Stamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    s.ctimeSec = st.st_ctim.tv_sec;
    s.ctimeNsec = st.st_ctim.tv_nsec;
    return s;
}

void ProfileStore::refresh() const {
    if (pending_) return; // the batched writes are the newer content
    const Stamp now = stampOf(path_);
    if (loaded_ && now == stamp_) return;
    loaded_ = true;
    stamp_ = now;
    lines_.clear();
    blocked_.clear();
    if (!now.exists) return;
    if (now.size > MaxFileSize) {
        blocked_ = "the file is too large to be a settings file";
        return;
    }

    std::string data;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        blocked_ = std::string("cannot read: ") + std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        blocked_ = "the settings file is not a plain file";
        return;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            blocked_ = std::string("cannot read: ") + std::strerror(errno);
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > MaxFileSize) {
            blocked_ = "the file is too large to be a settings file";
            break;
        }
    }
    ::close(fd);
    if (!blocked_.empty()) return;

    std::size_t begin = 0;
    while (begin < data.size()) {
        const auto lf = data.find('\n', begin);
        if (lf == npos) {
            lines_.push_back({data.substr(begin), ""});
            break;
        }
        const bool crlf = lf > begin && data[lf - 1] == '\r';
        lines_.push_back({data.substr(begin, lf - begin - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        begin = lf + 1;
    }
}

ProfileStore::Location ProfileStore::locate(std::string_view section, std::string_view key) const {
    section = trim(section);
    key = trim(key);
    Location loc;
    bool inSection = false;
    bool inFirstSection = false;
    bool seenSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const ParsedLine p = parseLine(lines_[i].text);
        if (p.kind == ParsedLine::Section) {
            inSection = sameName(p.name, section);
            inFirstSection = inSection && !seenSection;
            seenSection = seenSection || inSection;
            if (inFirstSection) loc.insertAfter = i;
        } else if (p.kind == ParsedLine::Entry && inSection) {
            if (inFirstSection) loc.insertAfter = i;
            if (sameName(p.name, key)) {
                loc.entry = i;
                return loc;
            }
        }
    }
    return loc;
}

int ProfileStore::readInt(std::string_view section, std::string_view key, int def) const {
    refresh();
    const Location loc = locate(section, key);
    if (loc.entry == npos) return def;
    const std::string& text = lines_[loc.entry].text;
    const auto value = trim(std::string_view(text).substr(parseLine(text).valueBegin));
    return parseInt(value).value_or(def);
}

std::string ProfileStore::readString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
    refresh();
    const Location loc = locate(section, key);
    if (loc.entry == npos) return std::string(def);
    const std::string& text = lines_[loc.entry].text;
    return std::string(trim(std::string_view(text).substr(parseLine(text).valueBegin)));
}

WriteResult ProfileStore::writeInt(std::string_view section, std::string_view key, int value) {
    return writeString(section, key, std::to_string(value));
}

WriteResult ProfileStore::writeString(std::string_view section, std::string_view key,
                                      std::string_view value) {
    refresh();
    if (!blocked_.empty()) return {false, path_, blocked_};
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));

    const Location loc = locate(section, key);
    std::string replaced;
    if (loc.entry != npos) {
        const std::string& text = lines_[loc.entry].text;
        replaced = text.substr(0, parseLine(text).valueBegin);
        replaced += value;
        if (replaced == text) return {true, path_, {}}; // the file already says so
    }

    std::vector<Line> next = lines_;
    std::string eol = "\n";
    for (const Line& l : lines_) {
        if (!l.eol.empty()) {
            eol = l.eol;
            break;
        }
    }
    const std::string entry = std::string(key) + "=" + std::string(value);

    if (loc.entry != npos) {
        next[loc.entry].text = std::move(replaced);
    } else if (loc.insertAfter != npos) {
        if (next[loc.insertAfter].eol.empty()) next[loc.insertAfter].eol = eol;
        next.insert(next.begin() + static_cast<std::ptrdiff_t>(loc.insertAfter + 1),
                    Line{entry, eol});
    } else {
        if (!next.empty()) {
            if (next.back().eol.empty()) next.back().eol = eol;
            if (!trim(next.back().text).empty()) next.push_back({"", eol});
        }
        next.push_back({"[" + std::string(section) + "]", eol});
        next.push_back({entry, eol});
    }

    if (batching_) {
        lines_ = std::move(next);
        pending_ = true;
        return {true, path_, {}};
    }
    WriteResult result = file_.replace(contentOf(next), false);
    if (result) {
        lines_ = std::move(next);
        stamp_ = stampOf(path_);
    }
    return result;
}

std::string ProfileStore::contentOf(const std::vector<Line>& lines) {
    std::string content;
    for (const Line& l : lines) {
        content += l.text;
        content += l.eol;
    }
    return content;
}

WriteResult ProfileStore::commitBatch() {
    batching_ = false;
    if (!pending_) return {true, path_, {}};
    pending_ = false;
    WriteResult result = file_.replace(contentOf(lines_), false);
    if (result) {
        stamp_ = stampOf(path_);
    } else {
        loaded_ = false; // what the file holds is read again
    }
    return result;
}

WriteResult ProfileStore::sync() {
    if (!stampOf(path_).exists) return {true, path_, {}}; // nothing was written
    return file_.sync();
}

} // namespace velmora
