// Prints how long an undo step, a snapshot write and a recovery write take here.
#include "history/keeper.h"
#include "model/defaults.h"
#include "test_dir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace velmora;

namespace {

template <class F> void report(const char* what, int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f(i);
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count());
    }
    std::sort(t.begin(), t.end());
    std::printf("%-44s median %8.3f ms  max %8.3f ms  (%d runs)\n", what, t[t.size() / 2], t.back(),
                runs);
}

} // namespace

int main() {
    test::TestDir dir;
    Keeper keeper(dir.path());
    Calibration c = test::model6();
    keeper.start(c, std::nullopt);
    // Each commit writes the recovery file, as every change in the window does.
    report("commit of an edit (step + recovery write)", 1000, [&](int i) {
        c[jetCell(i % 10, (i / 10) % 10)] ^= 1;
        keeper.commit({}, c);
    });
    report("undo step (history + recovery write)", 1000, [&](int) { keeper.undo(); });
    RecoveryFile recovery(dir.file("alone.txt"));
    report("recovery write", 1000, [&](int i) {
        c[Omez1] = static_cast<std::uint8_t>(i);
        recovery.write(c, i);
    });
    SnapshotStore store(dir.file("snapshots"));
    Image image{};
    pack(c, image);
    report("snapshot write (.ign, image, identification)", 300,
           [&](int i) { store.store(SnapshotKind::Read, 1796817600 + i, c, &image); });
    return 0;
}
