// Crash test of the settings file and the parameter file: a child process saves one of two
// known contents after the other in a loop and is killed with SIGKILL at a random moment. The
// file found afterwards must be one of the two, whole, or still absent when there was none.
// Then the recovery file: a child edits the calibration as fast as a user could and is killed;
// a restart must take over a calibration that lacks at most the edits of the last second.
//
//   reliability_crash [--rounds N] [--seed S]
#include "harness.h"

#include "files/param_file.h"
#include "files/profile_store.h"
#include "files/settings.h"
#include "history/keeper.h"
#include "tests/common/calibrations.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace velmora;
using velmora::simtest::makeTempDir;
using Clock = std::chrono::steady_clock;

namespace {

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Written by the child, read by the parent after the kill.
struct Shared {
    volatile int saving = 0; // inside a save
    volatile int saves = 0;  // saves completed
};

// The edits of one run of the recovery test: when each was complete.
struct EditLog {
    static constexpr int Max = 8192;
    volatile int edits = 0;
    volatile std::int64_t doneAt[Max]; // steady clock, nanoseconds
};

std::int64_t nanosNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Runs `work` in a child process and kills it with SIGKILL `ms` after the child called its
// ready() (at once when it never got there); the moment of the kill.
std::int64_t killAfter(double ms, const std::function<void(const std::function<void()>&)>& work) {
    int ready[2];
    if (pipe(ready) != 0) return nanosNow();
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        work([&] {
            const char go = 'g';
            if (write(ready[1], &go, 1) != 1) _exit(1);
        });
        _exit(0);
    }
    close(ready[1]);
    char go = 0;
    if (read(ready[0], &go, 1) == 1)
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
    close(ready[0]);
    kill(child, SIGKILL);
    const std::int64_t killedAt = nanosNow();
    waitpid(child, nullptr, 0);
    return killedAt;
}

struct Tally {
    int kills = 0, insideSave = 0, old = 0, fresh = 0, absent = 0, torn = 0;
};

// One kind of file: how to save content `which` (0 or 1) and what each looks like.
struct Subject {
    const char* name;
    std::string path;
    std::function<bool(int which)> save;
    std::function<bool(const std::string& bytes, int which)> parsesAs;
    std::string content[2];
};

class CrashTest {
public:
    CrashTest(int rounds, std::uint64_t seed)
        : rounds_(rounds), rng_(seed), dir_(makeTempDir("velmora-crash")) {
        shared_ = static_cast<Shared*>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE,
                                            MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        edits_ = static_cast<EditLog*>(mmap(nullptr, sizeof(EditLog), PROT_READ | PROT_WRITE,
                                            MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    }
    ~CrashTest() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    int run();

private:
    void makeStates();
    double timeOfSave(Subject& s);
    void round(Subject& s, double saveMs, Tally& t);
    int strayFiles() const;
    int recoveryRounds();

    int rounds_;
    std::mt19937_64 rng_;
    std::string dir_;
    Shared* shared_ = nullptr;
    EditLog* edits_ = nullptr;
    WindowSettings window_[2];
    Calibration cal_[2];
};

// Two states that differ in every one of the 207 settings entries and in every value of the
// parameter file, so that a file made of parts of both is told from either.
void CrashTest::makeStates() {
    for (std::size_t p = 0; p < ParamCount; ++p) {
        cal_[0].v[p] = static_cast<std::uint8_t>(rng_() % 128);
        cal_[1].v[p] = static_cast<std::uint8_t>(128 + rng_() % 128);
    }
    // Switches are written as 0 or 1 in the parameter file.
    for (Param p : common::Switches) {
        cal_[0][p] = 0;
        cal_[1][p] = 1;
    }
    window_[0] = {10, 20, 1, 0, "/home/rider/a.ign", "/home/rider/a.ign", 2};
    window_[1] = {-30, 400, 2, 1, "/home/rider/b.ign", "/home/rider/b.ign", 5};
}

double CrashTest::timeOfSave(Subject& s) {
    const auto start = Clock::now();
    for (int i = 0; i < 4; ++i) s.save(i % 2);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / 4;
}

int CrashTest::strayFiles() const {
    int n = 0;
    if (DIR* d = opendir(dir_.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            n += name != "." && name != ".." && name != "Velmora52.ini" && name != "bike.ign" &&
                 name != "data";
        }
        closedir(d);
    }
    return n;
}

void CrashTest::round(Subject& s, double saveMs, Tally& t) {
    // Mostly a file that holds one state is saved over; now and then there is none yet.
    std::optional<std::string> before = readFile(s.path);
    if (std::uniform_int_distribution<int>(0, 9)(rng_) == 0) {
        std::remove(s.path.c_str());
        before.reset();
    }
    const int old = before && *before == s.content[1] ? 1 : 0;

    shared_->saving = 0;
    shared_->saves = 0;
    // Anywhere from before the first save is under way to the third save.
    const double ms = std::uniform_real_distribution<double>(0, 2.5 * saveMs)(rng_);
    killAfter(ms, [&](const std::function<void()>& ready) {
        ready();
        for (int which = 1 - old;; which = 1 - which) {
            shared_->saving = 1;
            s.save(which);
            shared_->saving = 0;
            shared_->saves = shared_->saves + 1;
        }
    });
    ++t.kills;
    t.insideSave += shared_->saving;

    const std::optional<std::string> after = readFile(s.path);
    if (!after) {
        if (before) {
            ++t.torn; // a file that was there is gone
            std::fprintf(stderr, "crash: %s vanished\n", s.name);
        } else {
            ++t.absent;
        }
        return;
    }
    int found = -1;
    for (int which = 0; which < 2; ++which)
        if (*after == s.content[which] && s.parsesAs(*after, which)) found = which;
    if (found < 0) {
        ++t.torn;
        std::fprintf(stderr, "crash: %s torn after %d saves (%zu bytes, killed %s a save)\n",
                     s.name, shared_->saves, after->size(), shared_->saving ? "inside" : "between");
        // Start the next round from a whole file again.
        s.save(0);
        return;
    }
    ++(found == old && before ? t.old : t.fresh);
}

// The calibration after each edit of a run: one value set at random, as a user edits.
std::vector<Calibration> editSequence(const Calibration& start, std::uint64_t seed, int count) {
    std::mt19937_64 rng(seed);
    std::vector<Calibration> states{start};
    for (int i = 0; i < count; ++i) {
        Calibration next = states.back();
        const auto p = static_cast<std::size_t>(rng() % ParamCount);
        next.v[p] = static_cast<std::uint8_t>(next.v[p] + 1 + rng() % 255);
        states.push_back(next);
    }
    return states;
}

int CrashTest::recoveryRounds() {
    const std::string data = dir_ + "/data";
    const Calibration loaded = cal_[0]; // what the settings hold at every start
    int recoveries = 0, lostEntirely = 0, lateLoss = 0, editsLost = 0, mostLost = 0;
    long editsMade = 0;
    for (int round = 0; round < rounds_; ++round) {
        const std::uint64_t seed = rng_();
        const std::vector<Calibration> states = editSequence(loaded, seed, EditLog::Max - 1);
        edits_->edits = 0;
        const double ms = std::uniform_real_distribution<double>(5, 150)(rng_);
        const std::int64_t killedAt = killAfter(ms, [&](const std::function<void()>& ready) {
            Keeper keeper(data);
            keeper.start(loaded, std::nullopt);
            keeper.recover(); // as the window does at start-up
            ready();
            std::mt19937 pause(static_cast<unsigned>(seed));
            for (int i = 1; i < EditLog::Max; ++i) {
                keeper.commit({}, states[static_cast<std::size_t>(i)]);
                edits_->doneAt[i] = nanosNow();
                edits_->edits = i;
                std::this_thread::sleep_for(std::chrono::microseconds(pause() % 3000));
            }
            for (;;) pause();
        });
        const int made = edits_->edits;
        editsMade += made;

        // The restart.
        Keeper next(data);
        next.start(loaded, std::nullopt);
        const Keeper::Recovery r = next.recover();
        int found = -1;
        if (r.state == RecoveryFile::State::Valid) {
            const Calibration& got = r.cal ? *r.cal : loaded;
            // The edit under way at the kill may have reached the file before it was counted.
            for (int i = std::min(made + 1, EditLog::Max - 1); i >= 0 && found < 0; --i)
                if (states[static_cast<std::size_t>(i)] == got) found = i;
        } else if (made == 0) {
            found = 0; // killed before the first edit: nothing to recover
        }
        if (found < 0) {
            ++lostEntirely;
            std::fprintf(stderr, "crash: recovery lost the calibration after %d edits\n", made);
        } else {
            ++recoveries;
            const int lost = std::max(0, made - found);
            editsLost += lost;
            mostLost = std::max(mostLost, lost);
            // Every edit lost must have been made within the last second before the kill.
            if (lost > 0 && killedAt - edits_->doneAt[found + 1] > 1000000000) ++lateLoss;
        }
        next.closedCleanly(); // the restarted run closes cleanly
    }
    std::printf("crash: recovery file: %d kills during %ld edits: recoveries %d, edits lost %d "
                "(at most %d at one kill), edits lost older than 1 s %d, calibrations lost "
                "entirely %d\n",
                rounds_, editsMade, recoveries, editsLost, mostLost, lateLoss, lostEntirely);
    return lostEntirely > 0 || lateLoss > 0 ? 1 : 0;
}

int CrashTest::run() {
    if (dir_.empty() || shared_ == MAP_FAILED || edits_ == MAP_FAILED) return 2;
    makeStates();

    Subject settings{"settings file", dir_ + "/Velmora52.ini", {}, {}, {}};
    settings.save = [this, &settings](int which) {
        ProfileStore store(settings.path);
        return bool(saveSettings(store, window_[which], cal_[which]));
    };
    settings.parsesAs = [this](const std::string& bytes, int which) {
        const std::string check = dir_ + "/check.ini";
        std::ofstream(check, std::ios::binary) << bytes;
        ProfileStore store(check);
        WindowSettings w;
        Calibration c;
        loadSettings(store, w, c);
        std::remove(check.c_str());
        const WindowSettings& e = window_[which];
        bool same = w.left == e.left && w.top == e.top && w.comPort == e.comPort &&
                    w.language == e.language && w.file == e.file && w.iniDir == e.iniDir &&
                    w.activePage == e.activePage;
        for (const SettingsKey& k : calibrationKeys())
            same = same && c[k.param] == cal_[which][k.param];
        return same;
    };
    Subject params{"parameter file", dir_ + "/bike.ign", {}, {}, {}};
    params.save = [this, &params](int which) {
        return bool(saveParamFile(params.path, cal_[which]));
    };
    params.parsesAs = [this](const std::string& bytes, int which) {
        Calibration c;
        parseParamFile(bytes, c);
        return formatParamFile(c) == formatParamFile(cal_[which]);
    };
    for (Subject* s : {&settings, &params}) {
        std::remove(s->path.c_str());
        for (int which = 0; which < 2; ++which) {
            if (!s->save(which)) {
                std::fprintf(stderr, "crash: cannot save the %s\n", s->name);
                return 2;
            }
            s->content[which] = readFile(s->path).value_or("");
        }
    }

    int status = 0;
    for (Subject* s : {&settings, &params}) {
        const double saveMs = timeOfSave(*s);
        Tally t;
        for (int i = 0; i < rounds_; ++i) round(*s, saveMs, t);
        std::printf("crash: %s: %d kills (%d inside a save of %.2f ms): old file %d, new file "
                    "%d, still absent %d, torn or lost %d\n",
                    s->name, t.kills, t.insideSave, saveMs, t.old, t.fresh, t.absent, t.torn);
        if (t.torn > 0) status = 1;
    }
    if (recoveryRounds() != 0) status = 1;
    // The temporary file of the process killed last may remain; older ones must not pile up.
    const int stray = strayFiles();
    std::printf("crash: temporary files left beside them %d\n", stray);
    if (stray > 2) status = 1;
    return status;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 200;
    std::uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: reliability_crash [--rounds N] [--seed S]\n");
            return 2;
        }
    }
    CrashTest test(rounds, seed);
    return test.run();
}
