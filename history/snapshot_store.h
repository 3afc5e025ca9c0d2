// The snapshot folder: calibrations kept as parameter files any user can open, named so that
// they sort by time and say their kind and unit, with the unit's exact image beside those
// read from or programmed into it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/atomic_file.h"
#include "model/calibration.h"

namespace velmora {

enum class SnapshotKind : std::uint8_t {
    Read,
    Program,
    BeforeNew,
    BeforeOpen,
    BeforeRead,
    BeforeModel,
    OtherCopy // what another copy of the program left in the settings file
};
const char* kindToken(SnapshotKind kind); // "read", "before-open", ...

struct SnapshotEntry {
    std::string base;      // path without the extension
    std::string stamp;     // 20261208-140322
    std::int64_t time = 0; // seconds since 1970, from the stamp in local time
    SnapshotKind kind = SnapshotKind::Read;
    std::string unit; // identification of the unit, letters and digits; may be empty
    std::uintmax_t bytes = 0;
    bool hasImage = false;
    std::string ignPath() const { return base + ".ign"; }
    std::string imagePath() const { return base + ".bin"; }
    std::string identPath() const { return base + ".id"; }
    // What the .ign format has no room for (the wide-band target table); absent in older ones.
    std::string sidePath() const { return base + ".targets"; }
};

struct SnapshotLimits {
    std::size_t keepNewest = 200;
    std::int64_t keepSeconds = 30 * 24 * 3600;
    std::uintmax_t maxBytes = 50u * 1024 * 1024;
};

class SnapshotStore {
public:
    explicit SnapshotStore(std::string folder, SnapshotLimits limits = {});

    const std::string& folder() const { return folder_; }
    // Text stored beside every snapshot from now on (nothing when it gives an empty text).
    void setSidePart(std::function<std::string()> source) { side_ = std::move(source); }
    // Writes <stamp>-<kind>[-<unit>].ign (and .bin and .id when an image is given), each
    // written whole under its name or not at all, and prunes at the first store and every few
    // after it. The result names the .ign or says what failed.
    WriteResult store(SnapshotKind kind, std::int64_t time, const Calibration& cal,
                      const Image* image = nullptr);
    // Newest first.
    std::vector<SnapshotEntry> list() const;
    // Keeps the newest keepNewest and everything younger than keepSeconds, as long as the
    // whole stays within maxBytes; returns the snapshots removed.
    std::size_t prune(std::int64_t now);

    // "20261208-140322-read-ABC1.ign" and the like; nothing for other names.
    static std::optional<SnapshotEntry> parseName(const std::string& fileName);
    static std::string stampOf(std::int64_t time);

    struct Loaded {
        Calibration cal;
        std::optional<Image> image;
        std::optional<std::string> side; // the side part, when the snapshot has one
    };
    // The .ign read over `base` (or the image unpacked over it); nothing when it has gone.
    static std::optional<Loaded> load(const SnapshotEntry& entry, const Calibration& base);

private:
    static constexpr unsigned PruneEvery = 8;
    std::string folder_;
    SnapshotLimits limits_;
    std::function<std::string()> side_;
    unsigned storesSincePrune_ = 0;
    std::uintmax_t bytesAfterPrune_ = 0; // the folder's size as far as this store knows it
};

} // namespace velmora
