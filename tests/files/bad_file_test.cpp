// Every file the program reads or writes for itself, against every kind of thing that can
// stand at its name instead: nothing is followed, nothing hangs, nothing is read whole.
#include "files/param_file.h"
#include "files/profile_store.h"
#include "files/safe_file.h"
#include "history/keeper.h"
#include "history/recovery.h"
#include "history/snapshot_store.h"
#include "log/frame_log.h"
#include "log/mlg.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using test::BadFile;
using test::TestDir;

namespace {

constexpr BadFile kKinds[] = {BadFile::Symlink, BadFile::Fifo, BadFile::Directory, BadFile::Huge,
                              BadFile::Unreadable};

// What stands at a path now, told apart the way the kinds differ.
std::string whatIs(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "nothing";
    if (S_ISLNK(st.st_mode)) return "link";
    if (S_ISFIFO(st.st_mode)) return "fifo";
    if (S_ISDIR(st.st_mode)) return "directory";
    return "file of " + std::to_string(st.st_size) + " mode " + std::to_string(st.st_mode & 0777);
}

bool ownPlainFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0777) == 0600;
}

Image unitImage(const Calibration& c) {
    Image image{};
    pack(c, image);
    image[0] = 'A';
    return image;
}

struct Place {
    TestDir dir;
    std::string victim = dir.file("victim.txt"); // outside what the program owns
    std::string data = dir.file("data");
    Place() { ::mkdir(data.c_str(), 0700); }
};

// A reader: the bad thing is made at the path it returns, then run() reads it and checks the
// answer. It must come back (a fifo must not hang it) and leave the thing as it was.
struct Reader {
    const char* name;
    std::function<std::string(Place&)> prepare;
    std::function<void(Place&, const std::string& path, BadFile kind)> run;
};

const Calibration kCal = test::model6();

std::vector<Reader> readers() {
    return {
        {"recovery file", [](Place& p) { return p.data + "/recovery-1-1.txt"; },
         [](Place&, const std::string& path, BadFile kind) {
             const RecoveryFile::Loaded l = RecoveryFile(path).load();
             EXPECT_EQ(l.state, kind == BadFile::Huge ? RecoveryFile::State::Damaged
                                                      : RecoveryFile::State::Unreadable);
         }},
        {"start-up recovery", [](Place& p) { return p.data + "/recovery.txt"; },
         [](Place& p, const std::string&, BadFile) {
             Keeper keeper(p.data);
             keeper.start(kCal, std::nullopt);
             const Keeper::Recovery r = keeper.recover();
             EXPECT_FALSE(r.cal);
             EXPECT_NE(r.state, RecoveryFile::State::Missing); // said, not passed over
             EXPECT_EQ(keeper.recoveryBehind(), 0);            // its own file is elsewhere
         }},
        {"snapshot image",
         [](Place& p) {
             SnapshotStore store(p.data + "/snapshots");
             const Image image = unitImage(kCal);
             EXPECT_TRUE(store.store(SnapshotKind::Read, 1796817600, kCal, &image));
             const std::string bin = store.list().at(0).imagePath();
             ::unlink(bin.c_str());
             return bin;
         },
         [](Place& p, const std::string&, BadFile) {
             const std::vector<SnapshotEntry> list = SnapshotStore(p.data + "/snapshots").list();
             ASSERT_EQ(list.size(), 1u);
             EXPECT_FALSE(SnapshotStore::load(list[0], kCal));
         }},
        {"snapshot parameter file",
         [](Place& p) {
             SnapshotStore store(p.data + "/snapshots");
             EXPECT_TRUE(store.store(SnapshotKind::BeforeNew, 1796817600, kCal));
             const std::string ign = store.list().at(0).ignPath();
             ::unlink(ign.c_str());
             return ign;
         },
         [](Place&, const std::string& path, BadFile) {
             SnapshotEntry e = *SnapshotStore::parseName(path.substr(path.rfind('/') + 1));
             e.base = path.substr(0, path.size() - 4);
             EXPECT_FALSE(SnapshotStore::load(e, kCal));
         }},
        {"frame log", [](Place& p) { return p.dir.file("ride.frames"); },
         [](Place&, const std::string& path, BadFile) {
             const log::FrameLogResult r = log::readFrameLogFile(path);
             EXPECT_FALSE(r.ok);
             EXPECT_FALSE(r.error.empty());
         }},
        {"data log", [](Place& p) { return p.dir.file("ride.mlg"); },
         [](Place&, const std::string& path, BadFile) { EXPECT_FALSE(log::readMlgFile(path).ok); }},
        {"parameter file", [](Place& p) { return p.dir.file("bike.ign"); },
         [](Place&, const std::string& path, BadFile kind) {
             Calibration cal = kCal;
             // A link the user chose is followed: the file behind it holds no values.
             EXPECT_EQ(openParamFile(path, cal), kind == BadFile::Symlink);
             EXPECT_EQ(cal, kCal);
         }},
        {"settings file", [](Place& p) { return p.dir.file("Velmora52.ini"); },
         [](Place&, const std::string& path, BadFile) {
             EXPECT_EQ(ProfileStore(path).readInt("FORM_HLAV", "Language", 7), 7);
         }},
    };
}

// A writer replaces whatever stands at the path with a file of its own, mode 0600, and never
// writes through a link; a directory it cannot replace is a failure it reports.
struct Writer {
    const char* name;
    std::function<std::string(Place&)> target;
    std::function<WriteResult(Place&)> run;
    std::function<std::string(Place&)> written; // the file that must be its own afterwards
};

std::vector<Writer> writers() {
    return {
        {"recovery file", [](Place& p) { return p.data + "/recovery-1-1.txt"; },
         [](Place& p) {
             // Twice: the second replace must not write into what the first one found.
             RecoveryFile f(p.data + "/recovery-1-1.txt");
             const WriteResult first = f.write(kCal, 1);
             return first ? f.write(kCal, 2) : first;
         },
         [](Place& p) { return p.data + "/recovery-1-1.txt"; }},
        {"snapshot image",
         [](Place& p) {
             // The name the store will give the image, learnt from a store elsewhere.
             const Image image = unitImage(kCal);
             SnapshotStore probe(p.dir.file("probe"));
             probe.store(SnapshotKind::Read, 1796817600, kCal, &image);
             const std::string bin = probe.list().at(0).imagePath();
             ::mkdir((p.data + "/snapshots").c_str(), 0700);
             return p.data + "/snapshots" + bin.substr(bin.rfind('/'));
         },
         [](Place& p) {
             const Image image = unitImage(kCal);
             return SnapshotStore(p.data + "/snapshots")
                 .store(SnapshotKind::Read, 1796817600, kCal, &image);
         },
         [](Place& p) { return SnapshotStore(p.data + "/snapshots").list().at(0).imagePath(); }},
        {"note of another copy", [](Place& p) { return p.data + "/other-copy.txt"; },
         [](Place& p) { return writeOwnFile(p.data + "/other-copy.txt", "x.ign\n", false); },
         [](Place& p) { return p.data + "/other-copy.txt"; }},
    };
}

} // namespace

TEST(BadFiles, ReadersRefuseWhatIsNotTheirFileWithoutHangingOrChangingIt) {
    for (const BadFile kind : kKinds) {
        for (const Reader& r : readers()) {
            SCOPED_TRACE(std::string(r.name) + " as " + test::badFileName(kind));
            Place place;
            const std::string path = r.prepare(place);
            test::makeBadFile(kind, path, place.victim);
            const std::string before = whatIs(path);
            alarm(20); // a reader stuck on a fifo ends the test instead of hanging it
            {
                test::WithoutPermissionOverride asUser;
                r.run(place, path, kind);
            }
            alarm(0);
            EXPECT_EQ(whatIs(path), before);
            if (kind == BadFile::Symlink) {
                EXPECT_EQ(test::readFile(place.victim), "victim\n");
            }
        }
    }
}

TEST(BadFiles, WritersReplaceTheNameNeverWhatItPointsTo) {
    for (const BadFile kind : {BadFile::Symlink, BadFile::Fifo, BadFile::Directory, BadFile::Huge,
                               BadFile::Unreadable, BadFile::HardLink}) {
        for (const Writer& w : writers()) {
            SCOPED_TRACE(std::string(w.name) + " over " + test::badFileName(kind));
            Place place;
            const std::string path = w.target(place);
            test::makeBadFile(kind, path, place.victim);
            alarm(20);
            const WriteResult r = w.run(place);
            alarm(0);
            if (kind == BadFile::Symlink || kind == BadFile::HardLink) {
                EXPECT_EQ(test::readFile(place.victim), "victim\n");
            }
            if (kind == BadFile::Directory && whatIs(path) == "directory") {
                // Refused with a reason: a directory is not replaced.
                EXPECT_FALSE(r);
                EXPECT_FALSE(r.error.empty());
                continue;
            }
            ASSERT_TRUE(r) << r.error;
            EXPECT_TRUE(ownPlainFile(w.written(place))) << whatIs(w.written(place));
        }
    }
}
