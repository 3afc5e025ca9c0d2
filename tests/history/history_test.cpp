// The history core: undo and redo, the recovery file, snapshots, the difference report and
// the agreement of unit, screen and file.
#include "history/difference.h"
#include "history/keeper.h"
#include "history/param_names.h"
#include "history/recovery.h"
#include "history/snapshot_store.h"

#include "files/param_file.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "model/pairs.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <set>

using namespace velmora;
using lang::HistoryText;
using velmora::test::TestDir;

namespace {

Calibration changed(Calibration c, Param p, int delta = 1) {
    c[p] = static_cast<std::uint8_t>(c[p] + delta);
    return c;
}

StepName named(HistoryText t) {
    StepName n;
    n.command = t;
    return n;
}

// A clock the test moves by hand, from 2026-12-08 12:00 UTC.
struct FakeClock {
    std::int64_t now = 1796817600;
    Keeper::Clock fn() {
        return [this] { return now; };
    }
};

} // namespace

TEST(History, UndoAndRedoWalkTheStepsExactly) {
    History h;
    std::vector<Calibration> states{test::model6()};
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        Calibration next = states.back();
        // Any byte may change, those without controls included.
        next.v[rng() % ParamCount] = static_cast<std::uint8_t>(rng());
        if (sameSettings(next, states.back())) continue;
        EXPECT_TRUE(h.apply({}, states.back(), next));
        states.push_back(next);
    }
    for (std::size_t i = states.size() - 1; i > 0; --i) EXPECT_EQ(*h.undo(), states[i - 1]);
    EXPECT_FALSE(h.undo());
    for (std::size_t i = 1; i < states.size(); ++i) EXPECT_EQ(*h.redo(), states[i]);
    EXPECT_FALSE(h.redo());

    // A new step after an undo forgets what could be redone; no change is no step.
    h.undo();
    EXPECT_TRUE(h.apply({}, states[states.size() - 2], changed(states.back(), AdvanceMax)));
    EXPECT_EQ(h.redoCount(), 0u);
    EXPECT_FALSE(h.apply({}, states[0], states[0]));
}

TEST(History, KeepsTheNewestThousandSteps) {
    History h;
    std::vector<Calibration> states{Calibration{}};
    for (int i = 0; i < 1200; ++i) {
        const Calibration next = changed(states.back(), static_cast<Param>(i % ParamCount));
        if (h.apply({}, states.back(), next)) states.push_back(next); // a switch 1 → 2 is none
    }
    ASSERT_GT(states.size(), 1001u);
    EXPECT_EQ(h.undoCount(), 1000u);
    std::size_t undone = 0;
    Calibration oldest;
    for (; const auto c = h.undo(); ++undone) oldest = *c;
    EXPECT_EQ(undone, 1000u);
    EXPECT_EQ(oldest, states[states.size() - 1001]); // the steps before are forgotten
}

TEST(History, StepTextsNameTheCommandOrTheParameter) {
    const Calibration c = test::model6();
    Step s{named(HistoryText::StepJetPlus), c, c};
    EXPECT_EQ(stepText(s, 1), "Jet +");
    EXPECT_EQ(stepText(s, 0), "Vstřik +");
    s.name.param = at(Advance1, 2);
    EXPECT_EQ(stepText(s, 1), "Advance 3 (" + groupedNumber(c[at(RpmAdv1, 2)] * 100, 1) + " rpm)");
    s.name = named(HistoryText::StepColumnMinus);
    s.name.number = 4;
    EXPECT_EQ(stepText(s, 2), "Spalte 4 -");
    s.name = named(HistoryText::StepOpen);
    s.name.extra = "a.ign";
    EXPECT_EQ(stepText(s, 1), "Open file a.ign");
}

TEST(Recovery, RoundTripsEveryParameter) {
    std::mt19937 rng(52);
    for (int round = 0; round < 20; ++round) {
        Calibration c;
        for (auto& b : c.v) b = static_cast<std::uint8_t>(rng());
        const auto r = parseRecovery(formatRecovery(c, 1234567890 + round));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->cal, c);
        EXPECT_EQ(r->savedAt, 1234567890 + round);
    }
}

TEST(Recovery, RefusesEveryTruncationAndDamage) {
    const std::string text = formatRecovery(test::model6(), 42);
    for (std::size_t n = 0; n < text.size(); ++n)
        EXPECT_FALSE(parseRecovery(text.substr(0, n))) << "cut at " << n;
    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i) {
        std::string damaged = text;
        damaged[rng() % damaged.size()] ^= static_cast<char>(1 + rng() % 255);
        EXPECT_FALSE(parseRecovery(damaged));
    }
    std::string garbage(3000, '\0');
    for (char& ch : garbage) ch = static_cast<char>(rng());
    EXPECT_FALSE(parseRecovery(garbage));
    EXPECT_FALSE(parseRecovery(text + "extra\n"));
}

TEST(Recovery, FileIsReplacedWholeAndRemoved) {
    TestDir dir;
    RecoveryFile f(dir.file("recovery.txt"));
    EXPECT_EQ(f.load().state, RecoveryFile::State::Missing);
    Calibration c = test::model6();
    for (int i = 0; i < 5; ++i) {
        c = changed(c, JET0_0);
        ASSERT_TRUE(f.write(c, 100 + i));
    }
    const RecoveryFile::Loaded l = f.load();
    ASSERT_EQ(l.state, RecoveryFile::State::Valid);
    EXPECT_EQ(l.recovered.cal, c);
    EXPECT_EQ(l.recovered.savedAt, 104);
    test::writeFile(dir.file("recovery.txt"), "velmora52 recovery 1\nsaved 1\nRpmAdv1 3\n");
    EXPECT_EQ(f.load().state, RecoveryFile::State::Damaged);
    EXPECT_TRUE(RecoveryFile::flushToDisk(f.path()));
    f.remove();
    EXPECT_EQ(test::countEntries(dir.path()), 0u); // no spare file left either
    EXPECT_FALSE(RecoveryFile::flushToDisk(f.path()));
}

TEST(Snapshots, NamesSortByTimeAndSayKindAndUnit) {
    for (SnapshotKind k :
         {SnapshotKind::Read, SnapshotKind::Program, SnapshotKind::BeforeNew,
          SnapshotKind::BeforeOpen, SnapshotKind::BeforeRead, SnapshotKind::BeforeModel}) {
        for (const std::string unit : {"", "ABC1"}) {
            const std::string name = std::string("20261208-140322-") + kindToken(k) +
                                     (unit.empty() ? "" : "-" + unit) + "_2.ign";
            const auto e = SnapshotStore::parseName(name);
            ASSERT_TRUE(e) << name;
            EXPECT_EQ(e->kind, k);
            EXPECT_EQ(e->unit, unit);
            EXPECT_EQ(e->stamp, "20261208-140322");
            EXPECT_EQ(SnapshotStore::stampOf(e->time), e->stamp);
        }
    }
    for (const char* bad : {"20261208-140322-read.txt", "2026120-140322-read.ign",
                            "20261208-140322-reading.ign", "notes.ign", "20261208-140322.ign"})
        EXPECT_FALSE(SnapshotStore::parseName(bad)) << bad;
}

TEST(Snapshots, StoreWritesParameterFileImageAndIdentification) {
    TestDir dir;
    SnapshotStore store(dir.file("snapshots"));
    Calibration c = test::model6();
    Image image{};
    pack(c, image);
    const char name[] = "ABC";
    std::copy(name, name + 3, image.begin());
    image[ProgNumber] = 1;
    const std::int64_t t = 1796817600;
    ASSERT_TRUE(store.store(SnapshotKind::Read, t, c, &image));
    ASSERT_TRUE(store.store(SnapshotKind::Read, t, c, &image)); // the same second
    ASSERT_TRUE(store.store(SnapshotKind::BeforeOpen, t + 1, changed(c, JET0_0)));
    const std::vector<SnapshotEntry> list = store.list();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].kind, SnapshotKind::BeforeOpen);
    EXPECT_FALSE(list[0].hasImage);
    EXPECT_EQ(list[2].unit, "ABC01");
    EXPECT_TRUE(list[2].hasImage);
    EXPECT_EQ(test::readFile(list[2].ignPath()), formatParamFile(c));

    // An image snapshot restores every byte, the model table included.
    Calibration other{};
    const auto loaded = SnapshotStore::load(list[2], other);
    ASSERT_TRUE(loaded && loaded->image);
    EXPECT_EQ(*loaded->image, image);
    Identification id;
    Calibration expected{};
    unpack(image, expected, id);
    EXPECT_EQ(loaded->cal, expected);
    EXPECT_EQ(test::readFile(list[2].identPath()),
              id.program + "\n" + id.date + "\n" + id.time + "\n");
    // A parameter-file snapshot is read over the screen, like Open.
    EXPECT_EQ(SnapshotStore::load(list[0], c)->cal, changed(c, JET0_0));

    std::filesystem::remove(list[1].ignPath());
    EXPECT_FALSE(SnapshotStore::load(list[1], c)); // vanished since the listing
}

TEST(Snapshots, PruningKeepsNewestAndRecentWithinTheSizeLimit) {
    struct Case {
        SnapshotLimits limits;
        int count;
        std::int64_t spacing; // seconds between snapshots
        int kept;
    };
    const std::uintmax_t one = formatParamFile(test::model6()).size();
    const Case cases[] = {
        {{3, 10, 1u << 30}, 8, 5, 3},                    // newest 3, the others older than 10 s
        {{3, 100, 1u << 30}, 8, 5, 8},                   // all within 100 s
        {{3, 100, 5 * one}, 8, 5, 5},                    // the size limit wins over both
        {{200, 30 * 86400, 50u << 20}, 210, 86400, 200}, // a year of daily snapshots
    };
    for (const Case& k : cases) {
        TestDir dir;
        SnapshotStore store(dir.path(), k.limits);
        const std::int64_t start = 1700000000;
        for (int i = 0; i < k.count; ++i)
            ASSERT_TRUE(store.store(SnapshotKind::BeforeNew, start + i * k.spacing,
                                    changed(test::model6(), JET0_0, i)));
        store.prune(start + (k.count - 1) * k.spacing);
        const std::vector<SnapshotEntry> list = store.list();
        EXPECT_EQ(static_cast<int>(list.size()), k.kept);
        // What stays is always the newest.
        EXPECT_EQ(list.front().time, start + (k.count - 1) * k.spacing);
        std::uintmax_t total = 0;
        for (const SnapshotEntry& e : list) total += e.bytes;
        EXPECT_LE(total, k.limits.maxBytes);
    }
}

TEST(Snapshots, AFolderThatCannotBeMadeIsReported) {
    TestDir dir;
    test::writeFile(dir.file("file"), "x");
    SnapshotStore store(dir.file("file/snapshots"));
    const WriteResult r = store.store(SnapshotKind::Read, 1, test::model6());
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(store.list().empty());
}

TEST(Difference, EveryParameterHasItsOwnNameAndDisplayValue) {
    const Calibration screen = test::model6();
    std::set<std::string> names;
    std::set<Param> listed;
    for (std::uint8_t language = 0; language < 3; ++language) {
        names.clear();
        for (std::size_t i = 0; i < ParamCount; ++i) {
            const Param p = static_cast<Param>(i);
            Calibration other = changed(screen, p, 3);
            if (isFlag(p)) other[p] = screen[p] != 0 ? 0 : 1; // a switch differs by on or off
            const std::vector<DifferenceRow> rows = differences(screen, other, language);
            ASSERT_EQ(rows.size(), 1u) << paramName(p);
            const DifferenceRow& r = rows[0];
            EXPECT_EQ(r.param, p);
            EXPECT_FALSE(r.page.empty() || r.group.empty() || r.label.empty());
            EXPECT_TRUE(names.insert(r.page + "/" + r.group + "/" + r.label).second)
                << "two parameters called " << r.label;
            EXPECT_EQ(r.screen, displayText(p, screen, language));
            EXPECT_EQ(r.other, displayText(p, other, language));
            listed.insert(p);
        }
    }
    EXPECT_EQ(listed.size(), std::size_t{ParamCount});
}

TEST(Difference, ValuesAreInDisplayUnits) {
    Calibration c = test::model6();
    for (const PairSpec& s : pairTable()) {
        const std::string shown = displayText(s.param, c, 1);
        std::string digits;
        for (char ch : shown)
            if (ch != ',') digits += ch;
        EXPECT_EQ(digits, std::to_string(toDisplay(s, c[s.param]))) << s.edit;
    }
    c[at(RPM_JET_0, 4)] = 60;
    c[at(RpmAdv1, 2)] = 30;
    EXPECT_EQ(userName(jetCell(5, 4), c, 1).label, "Fuel map 30 % × 6,000 rpm [%]");
    EXPECT_EQ(shortName(at(Advance1, 2), c, 1), "Advance 3 (3,000 rpm)");
    EXPECT_EQ(userName(Omez2, c, 1).label, "Limiter [rpm]");
    EXPECT_EQ(userName(Omez2, c, 2).label, "Begrenzer [U/min]");
    EXPECT_EQ(displayText(Omez2, c, 0), groupedNumber(c[Omez2] * 100, 0));
    EXPECT_EQ(groupedNumber(15000, 0), "15 000");
    EXPECT_EQ(groupedNumber(15000, 2), "15.000");
    EXPECT_EQ(groupedNumber(999, 1), "999");
    c[TPS_100] = 200;
    EXPECT_EQ(displayText(TPS_100, c, 1), "4,500");
    c[GasEnable] = 0x10; // a switch as a read leaves it
    EXPECT_EQ(displayText(GasEnable, c, 1), "on");

    const std::string text = differencesAsText(differences(c, changed(c, Omez2), 1), 1);
    EXPECT_EQ(text, "Page\tGroup\tValue\tScreen\tOther\nIgnition\tOther\tLimiter [rpm]\t" +
                        displayText(Omez2, c, 1) + "\t" + displayText(Omez2, changed(c, Omez2), 1) +
                        "\n");
}

TEST(Difference, AVerifiedBlockFromTheUnitNamesTheCellThatDiffers) {
    const Calibration screen = test::model6();
    Image image{};
    pack(screen, image);
    std::array<std::uint8_t, BlockSize> block{};
    std::copy(image.begin() + 5 * BlockSize, image.begin() + 6 * BlockSize, block.begin());
    block[13] ^= 0x01; // block 5 holds rows 4 and 5: row 5, column 3
    const std::vector<DifferenceRow> rows =
        differences(screen, withUnitBlock(screen, image, 5, block), 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].param, jetCell(5, 3));
    // Switches come back from the unit as their bits: the same setting, no difference.
    pack(screen, image);
    std::copy(image.begin() + BlockSize, image.begin() + 2 * BlockSize, block.begin());
    EXPECT_TRUE(differences(screen, withUnitBlock(screen, image, 1, block), 1).empty());
}

class KeeperTest : public ::testing::Test {
protected:
    TestDir dir;
    FakeClock clock;
    Keeper keeper{dir.path(), clock.fn()};
    Calibration loaded = test::model6();

    void SetUp() override { keeper.start(loaded, std::nullopt); }
    Calibration recovered() { return keeper.recoveryFile().load().recovered.cal; }
    // Another copy of the program started on the same folder from the same settings.
    std::unique_ptr<Keeper> copy(const Calibration& settings) {
        auto k = std::make_unique<Keeper>(dir.path(), clock.fn());
        k->start(settings, std::nullopt);
        return k;
    }
};

TEST_F(KeeperTest, EveryCommitIsOneStepAndReachesTheRecoveryFile) {
    // The kinds of step the window makes, each undone exactly.
    Calibration c = loaded;
    std::vector<Calibration> states{c};
    Calibration defaults = c;
    defaults[Klicovani] = 2;
    setDefaultCalibration(defaults);
    const std::pair<HistoryText, Calibration> steps[] = {
        {HistoryText::StepEdit, changed(c, Omez1)},
        {HistoryText::StepJetPlus, changed(changed(c, JET0_0), jetCell(9, 9))},
        {HistoryText::StepModel, changed(c, MODEL_TAB_0, 7)},
        {HistoryText::StepNew, defaults},
        {HistoryText::StepRead, changed(defaults, POLOHA_PRO)},
        {HistoryText::StepOpen, changed(defaults, ExtMonitor)},
    };
    keeper.takeRecoveryUnflushed();
    for (const auto& [kind, next] : steps) {
        clock.now += 3;
        EXPECT_TRUE(keeper.commit(named(kind), next));
        EXPECT_TRUE(keeper.takeRecoveryUnflushed());
        EXPECT_FALSE(keeper.takeRecoveryUnflushed());
        EXPECT_EQ(recovered(), next);
        EXPECT_EQ(keeper.history().nextUndo()->name.command, kind);
        states.push_back(next);
    }
    EXPECT_FALSE(keeper.commit(named(HistoryText::StepEdit), states.back()));
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        EXPECT_EQ(*keeper.undo(), states[i - 1]);
        EXPECT_EQ(recovered(), states[i - 1]);
    }
    EXPECT_EQ(*keeper.redo(), states[1]);
    EXPECT_EQ(keeper.committed(), states[1]);
}

TEST_F(KeeperTest, AReplacedCalibrationIsKeptOnceUnlessAFileHoldsIt) {
    const Calibration edited = changed(loaded, Omez1);
    keeper.commit({}, edited);
    keeper.commit(named(HistoryText::StepNew), loaded, SnapshotKind::BeforeNew);
    ASSERT_EQ(keeper.snapshots().list().size(), 1u);
    EXPECT_EQ(keeper.snapshots().list()[0].kind, SnapshotKind::BeforeNew);
    EXPECT_EQ(test::readFile(keeper.snapshots().list()[0].ignPath()), formatParamFile(edited));
    // The loaded one again, and once more: each calibration is kept once.
    clock.now += 1;
    keeper.commit(named(HistoryText::StepModel), edited, SnapshotKind::BeforeModel);
    clock.now += 1;
    keeper.commit(named(HistoryText::StepModel), loaded, SnapshotKind::BeforeModel);
    EXPECT_EQ(keeper.snapshots().list().size(), 2u);
    // Saved to a file: not kept again.
    const Calibration saved = changed(loaded, Omez2);
    keeper.commit({}, saved);
    keeper.fileStored(saved);
    clock.now += 1;
    keeper.commit(named(HistoryText::StepOpen), loaded, SnapshotKind::BeforeOpen);
    EXPECT_EQ(keeper.snapshots().list().size(), 2u);
}

TEST_F(KeeperTest, RecoveryAtStartIsOneUndoableStep) {
    auto crashed = copy(loaded);
    crashed->recover();
    const Calibration lost = changed(changed(loaded, AdvanceMax), jetCell(3, 3), 9);
    crashed->commit({}, lost);
    const std::int64_t savedAt = clock.now;
    crashed.reset(); // ended without closing
    // The next run starts from the settings of the run before.
    clock.now += 60;
    auto next = copy(loaded);
    const Keeper::Recovery r = next->recover();
    ASSERT_TRUE(r.cal);
    EXPECT_EQ(*r.cal, lost);
    EXPECT_EQ(r.savedAt, savedAt);
    EXPECT_EQ(next->history().nextUndo()->name.command, HistoryText::StepRecovery);
    EXPECT_EQ(next->recoveryFile().load().recovered.cal, lost); // now held by its own file
    EXPECT_EQ(*next->undo(), loaded);

    // Taken over once: a clean close leaves no recovery file of these two copies.
    auto same = copy(loaded);
    EXPECT_FALSE(same->recover().cal);
    EXPECT_EQ(same->history().undoCount(), 0u);
    same->closedCleanly();
    next->closedCleanly();
    keeper.closedCleanly();
    EXPECT_TRUE(recoveryFilesIn(dir.path()).empty());
    // A copy that ended before its first write leaves a lock only, which the next start clears.
    copy(loaded).reset();
    auto clean = copy(loaded);
    clean->recover();
    clean->closedCleanly();
    EXPECT_EQ(test::countEntries(dir.path()), 0u);

    // The file of an older version is recovered too; a damaged one is said and left.
    test::writeFile(dir.file("recovery.txt"), "garbage");
    auto damaged = copy(loaded);
    const Keeper::Recovery d = damaged->recover();
    EXPECT_EQ(d.state, RecoveryFile::State::Damaged);
    EXPECT_FALSE(d.cal);
    EXPECT_EQ(damaged->committed(), loaded);
    EXPECT_EQ(test::readFile(dir.file("recovery.txt")), "garbage");
}

TEST_F(KeeperTest, TwoCopiesKeepTheirOwnRecoveryFiles) {
    keeper.recover();
    const Calibration first = changed(loaded, jetCell(4, 4), 20);
    keeper.commit({}, first);
    // A second copy starting now recovers nothing: the first one runs.
    auto second = copy(loaded);
    const Keeper::Recovery r = second->recover();
    EXPECT_FALSE(r.cal);
    EXPECT_EQ(second->committed(), loaded);
    const Calibration other = changed(loaded, Omez1, 3);
    second->commit({}, other);
    EXPECT_NE(second->recoveryFile().path(), keeper.recoveryFile().path());
    EXPECT_EQ(recovered(), first);

    // A clean close of the second leaves the first copy's file. (What becomes of the settings
    // file is shown through the window.)
    second->closedCleanly();
    EXPECT_EQ(recovered(), first);
    keeper.closedCleanly();
    auto later = copy(first);
    EXPECT_FALSE(later->recover().cal);

    // Of two copies that both ended without closing, the later one is recovered first and the
    // other waits for the next start.
    auto a = copy(first);
    a->recover();
    a->commit({}, changed(first, Omez2));
    clock.now += 5;
    auto b = copy(first);
    b->recover();
    b->commit({}, changed(first, Omez2, 2));
    a.reset();
    b.reset();
    later->closedCleanly();
    auto c = copy(first);
    EXPECT_EQ(c->recover().cal, changed(first, Omez2, 2));
    c->closedCleanly();
    auto d = copy(first);
    EXPECT_EQ(d->recover().cal, changed(first, Omez2));
}

TEST_F(KeeperTest, UnitIsTheSameOnlyWhileTheLastExchangeProvesIt) {
    Image image{};
    pack(loaded, image);
    const Calibration edited = changed(loaded, jetCell(1, 1));
    // Each event in turn, and what the field must say after it.
    const struct {
        const char* event;
        std::function<void()> act;
        UnitAgreement unit;
        int differences;
    } steps[] = {
        {"start", [] {}, UnitAgreement::Unknown, 0},
        {"read", [&] { keeper.unitHolds(image); }, UnitAgreement::Same, 0},
        {"value outside the unit", [&] { keeper.commit({}, changed(loaded, ExtMonitor)); },
         UnitAgreement::Same, 0},
        {"edit", [&] { keeper.commit({}, edited); }, UnitAgreement::Differs, 0},
        {"undo", [&] { keeper.undo(); }, UnitAgreement::Same, 0},
        {"undo again", [&] { keeper.undo(); }, UnitAgreement::Same, 0},
        {"verify finds 3 values", [&] { keeper.unitDiffers(3); }, UnitAgreement::VerifyFailed, 3},
        {"edit after it", [&] { keeper.commit({}, edited); }, UnitAgreement::VerifyFailed, 3},
        {"undo after it", [&] { keeper.undo(); }, UnitAgreement::VerifyFailed, 3},
        {"good verify", [&] { keeper.unitHolds(image); }, UnitAgreement::Same, 0},
        {"port lost", [&] { keeper.unitUnknown(); }, UnitAgreement::Unknown, 0},
        {"edit while unknown", [&] { keeper.commit({}, edited); }, UnitAgreement::Unknown, 0},
        {"verify finds 1 value", [&] { keeper.unitDiffers(1); }, UnitAgreement::VerifyFailed, 1},
        {"port reopened", [&] { keeper.unitUnknown(); }, UnitAgreement::Unknown, 0},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_EQ(keeper.unit(), s.unit) << s.event;
        if (s.unit == UnitAgreement::VerifyFailed) {
            EXPECT_EQ(keeper.unitDifferences(), s.differences) << s.event;
        }
    }
}

TEST_F(KeeperTest, FileAgreementFollowsTheChanges) {
    EXPECT_EQ(keeper.file(), FileAgreement::None);
    keeper.fileStored(keeper.committed());
    EXPECT_EQ(keeper.file(), FileAgreement::Saved);
    keeper.commit({}, changed(keeper.committed(), MODEL_CONST)); // not in the file
    EXPECT_EQ(keeper.file(), FileAgreement::Saved);
    keeper.commit({}, changed(keeper.committed(), Omez2));
    EXPECT_EQ(keeper.file(), FileAgreement::Changed);
}

// A read gives each switch as its bit, the check boxes give 1: the same setting everywhere.
TEST_F(KeeperTest, SwitchesCountOnlyAsOnOrOff) {
    Calibration on = loaded;
    for (std::size_t i = 0; i < ParamCount; ++i)
        if (isFlag(static_cast<Param>(i))) on.v[i] = 1;
    Image image{};
    pack(on, image);
    Calibration asRead = on;
    Identification ident;
    unpack(image, asRead, ident);
    asRead[ExtMonitor] = 2; // not in the image: any value that is not 0

    EXPECT_TRUE(keeper.commit(named(HistoryText::StepRead), asRead));
    keeper.snapshot(SnapshotKind::Read, asRead);
    EXPECT_FALSE(keeper.commit({}, on)); // the controls read back: no step
    EXPECT_EQ(countDifferences(asRead, on), 0);
    EXPECT_TRUE(differences(asRead, on, 1).empty());
    // A snapshot holding the same setting in the other form is not kept again, and a recovery
    // file that differs only so is no step at the next start.
    keeper.commit(named(HistoryText::StepNew), changed(on, Omez1), SnapshotKind::BeforeNew);
    EXPECT_EQ(keeper.snapshots().list().size(), 1u);
    EXPECT_EQ(keeper.history().undoCount(), 2u);
    Keeper next(dir.path(), clock.fn());
    next.start(changed(asRead, Omez1), std::nullopt);
    EXPECT_FALSE(next.recover().cal);
}

TEST_F(KeeperTest, FailedWritesAreReportedOnceAndChangeNothing) {
    std::filesystem::remove_all(dir.path());
    test::writeFile(dir.path(), "a file where the folder was");
    const Calibration next = changed(loaded, Omez1);
    EXPECT_TRUE(keeper.commit({}, next, SnapshotKind::BeforeNew));
    EXPECT_EQ(keeper.committed(), next);
    EXPECT_TRUE(keeper.takeRecoveryFailure());
    EXPECT_FALSE(keeper.takeRecoveryFailure());
    EXPECT_TRUE(keeper.takeSnapshotFailure());
    EXPECT_EQ(*keeper.undo(), loaded);
    std::filesystem::remove(dir.path());
}
