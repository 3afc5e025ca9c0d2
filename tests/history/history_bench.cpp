// Prints how long an undo step, a snapshot write and a recovery write take here.
#include "history/keeper.h"
#include "test_dir.h"
#include "tests/common/timing.h"

using namespace velmora;
using common::reportTimes;

int main() {
    test::TestDir dir;
    Keeper keeper(dir.path());
    Calibration c = test::model6();
    keeper.start(c, std::nullopt);
    // Each commit writes the recovery file, as every change in the window does.
    reportTimes("commit of an edit (step + recovery write)", 1000, [&](int i) {
        c[jetCell(i % 10, (i / 10) % 10)] ^= 1;
        keeper.commit({}, c);
    });
    reportTimes("undo step (history + recovery write)", 1000, [&](int) { keeper.undo(); });
    RecoveryFile recovery(dir.file("alone.txt"));
    reportTimes("recovery write", 1000, [&](int i) {
        c[Omez1] = static_cast<std::uint8_t>(i);
        recovery.write(c, i);
    });
    SnapshotStore store(dir.file("snapshots"));
    Image image{};
    pack(c, image);
    reportTimes("snapshot write (.ign, image, identification)", 300,
                [&](int i) { store.store(SnapshotKind::Read, 1796817600 + i, c, &image); });
    return 0;
}
