#include "history/snapshot_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "files/param_file.h"
#include "files/safe_file.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr SnapshotKind kKinds[] = {SnapshotKind::Read,       SnapshotKind::Program,
                                   SnapshotKind::BeforeNew,  SnapshotKind::BeforeOpen,
                                   SnapshotKind::BeforeRead, SnapshotKind::BeforeModel,
                                   SnapshotKind::OtherCopy};

std::string unitText(const Image& image) {
    std::string out;
    for (char c : rebuildIdentification(image).program) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) out += c;
    }
    return out;
}

std::optional<std::int64_t> timeOfStamp(const std::string& s) {
    if (s.size() != 15 || s[8] != '-') return std::nullopt;
    for (std::size_t i = 0; i < 15; ++i)
        if (i != 8 && (s[i] < '0' || s[i] > '9')) return std::nullopt;
    std::tm tm{};
    tm.tm_year = std::stoi(s.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(s.substr(4, 2)) - 1;
    tm.tm_mday = std::stoi(s.substr(6, 2));
    tm.tm_hour = std::stoi(s.substr(9, 2));
    tm.tm_min = std::stoi(s.substr(11, 2));
    tm.tm_sec = std::stoi(s.substr(13, 2));
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

// Companion files hold an image or a few lines; anything larger is not one of ours.
constexpr std::size_t MaxIgnSize = 256 * 1024;

std::uintmax_t sizeOr0(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

} // namespace

const char* kindToken(SnapshotKind kind) {
    switch (kind) {
    case SnapshotKind::Read:
        return "read";
    case SnapshotKind::Program:
        return "program";
    case SnapshotKind::BeforeNew:
        return "before-new";
    case SnapshotKind::BeforeOpen:
        return "before-open";
    case SnapshotKind::BeforeRead:
        return "before-read";
    case SnapshotKind::BeforeModel:
        return "before-model";
    case SnapshotKind::OtherCopy:
        return "other-copy";
    }
    return "";
}

SnapshotStore::SnapshotStore(std::string folder, SnapshotLimits limits)
    : folder_(std::move(folder)), limits_(limits) {}

std::string SnapshotStore::stampOf(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

std::optional<SnapshotEntry> SnapshotStore::parseName(const std::string& fileName) {
    if (fileName.size() < 5 || fileName.compare(fileName.size() - 4, 4, ".ign") != 0)
        return std::nullopt;
    std::string rest = fileName.substr(0, fileName.size() - 4);
    SnapshotEntry e;
    e.stamp = rest.substr(0, 15);
    const std::optional<std::int64_t> time = timeOfStamp(e.stamp);
    if (!time || rest.size() < 17 || rest[15] != '-') return std::nullopt;
    e.time = *time;
    rest = rest.substr(16);
    // A second snapshot of the same second and kind carries _2, _3 ...
    if (const std::size_t under = rest.rfind('_'); under != std::string::npos) rest.erase(under);
    bool matched = false;
    for (SnapshotKind k : kKinds) {
        const std::string token = kindToken(k);
        if (rest == token || rest.compare(0, token.size() + 1, token + "-") == 0) {
            e.kind = k;
            e.unit = rest.size() > token.size() ? rest.substr(token.size() + 1) : std::string();
            matched = true;
        }
    }
    if (!matched) return std::nullopt;
    return e;
}

WriteResult SnapshotStore::store(SnapshotKind kind, std::int64_t time, const Calibration& cal,
                                 const Image* image) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (!fs::is_directory(folder_))
        return {false, folder_, "cannot create the folder: " + ec.message(),
                ec ? ec.value() : ENOTDIR};
    std::string name = stampOf(time) + "-" + kindToken(kind);
    if (image != nullptr) {
        const std::string unit = unitText(*image);
        if (!unit.empty()) name += "-" + unit;
    }
    std::string base = folder_ + "/" + name;
    for (int n = 2; fs::exists(base + ".ign", ec); ++n)
        base = folder_ + "/" + name + "_" + std::to_string(n);
    if (image != nullptr) {
        const Identification id = rebuildIdentification(*image);
        const std::string bytes(reinterpret_cast<const char*>(image->data()), image->size());
        if (WriteResult r = writeOwnFile(base + ".bin", bytes, false); !r) return r;
        if (WriteResult r = writeOwnFile(
                base + ".id", id.program + "\n" + id.date + "\n" + id.time + "\n", false);
            !r)
            return r;
    }
    const std::string side = side_ ? side_() : std::string();
    if (!side.empty()) {
        if (WriteResult r = writeOwnFile(base + ".targets", side, false); !r) {
            fs::remove(base + ".bin", ec);
            fs::remove(base + ".id", ec);
            return r;
        }
    }
    // The parameter file goes last: a listing never finds it without its image.
    WriteResult r = writeOwnFile(base + ".ign", formatParamFile(cal), false);
    if (!r) {
        fs::remove(base + ".bin", ec);
        fs::remove(base + ".id", ec);
        fs::remove(base + ".targets", ec);
        return r;
    }
    // Pruning looks at the whole folder; every few stores is enough to hold the limits.
    bytesAfterPrune_ +=
        formatParamFile(cal).size() + side.size() + (image != nullptr ? ImageSize + 32 : 0);
    if (storesSincePrune_++ % PruneEvery == 0 || bytesAfterPrune_ > limits_.maxBytes) prune(time);
    return r;
}

std::vector<SnapshotEntry> SnapshotStore::list() const {
    std::vector<SnapshotEntry> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        std::optional<SnapshotEntry> e = parseName(it->path().filename().string());
        if (!e) continue;
        const std::string file = it->path().string();
        e->base = file.substr(0, file.size() - 4);
        e->hasImage = fs::exists(e->imagePath(), ec);
        e->bytes = sizeOr0(file) + sizeOr0(e->imagePath()) + sizeOr0(e->identPath()) +
                   sizeOr0(e->sidePath());
        out.push_back(std::move(*e));
    }
    std::sort(out.begin(), out.end(),
              [](const SnapshotEntry& a, const SnapshotEntry& b) { return a.base > b.base; });
    return out;
}

std::size_t SnapshotStore::prune(std::int64_t now) {
    std::size_t removed = 0;
    std::uintmax_t total = 0;
    bytesAfterPrune_ = 0;
    std::size_t index = 0;
    for (const SnapshotEntry& e : list()) {
        const bool young = now - e.time <= limits_.keepSeconds;
        const bool keep =
            (index < limits_.keepNewest || young) && total + e.bytes <= limits_.maxBytes;
        ++index;
        if (keep) {
            total += e.bytes;
            bytesAfterPrune_ = total;
            continue;
        }
        std::error_code ec;
        fs::remove(e.ignPath(), ec);
        fs::remove(e.imagePath(), ec);
        fs::remove(e.identPath(), ec);
        fs::remove(e.sidePath(), ec);
        ++removed;
    }
    return removed;
}

std::optional<SnapshotStore::Loaded> SnapshotStore::load(const SnapshotEntry& entry,
                                                         const Calibration& base) {
    Loaded out{base, std::nullopt, std::nullopt};
    const FileRead ign = readPlainFile(entry.ignPath(), MaxIgnSize, false);
    if (!ign.ok()) return std::nullopt;
    if (const FileRead side = readPlainFile(entry.sidePath(), MaxIgnSize, false); side.ok())
        out.side = side.data;
    if (entry.hasImage) {
        const FileRead bytes = readPlainFile(entry.imagePath(), ImageSize, false);
        if (!bytes.ok() || bytes.data.size() != ImageSize) return std::nullopt;
        Image image{};
        std::copy(bytes.data.begin(), bytes.data.end(), image.begin());
        Identification ignored;
        unpack(image, out.cal, ignored);
        out.image = image;
        return out;
    }
    parseParamFile(ign.data, out.cal);
    return out;
}

} // namespace velmora
