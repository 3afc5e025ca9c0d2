#include "files/settings.h"
#include "test_dir.h"
#include "tests/common/calibrations.h"
#include "tests/model/golden_images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::model6;
using velmora::test::readFile;
using velmora::test::TestDir;
using velmora::test::writeFile;

namespace {

WindowSettings centred() {
    WindowSettings w;
    w.left = 312;
    w.top = 144;
    return w;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        hadOld_ = std::getenv(name) != nullptr;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (hadOld_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

} // namespace

TEST(SettingsKeys, AreTheTwoHundredParametersInSaveOrder) {
    const auto& keys = calibrationKeys();
    std::set<int> params;
    for (const auto& k : keys) params.insert(k.param);
    EXPECT_EQ(params.size(), 200u);
    for (Param p : {AdvanceMax, ModelFlag, MODEL_CONST, MODEL_TAB_0, at(MODEL_TAB_0, 9)}) {
        EXPECT_EQ(params.count(p), 0u) << paramName(p);
    }
    auto keyAt = [&](std::size_t i) {
        return std::string(keys[i].section) + "/" + paramName(keys[i].param);
    };
    EXPECT_EQ(keyAt(0), "IGNITION/RpmAdv1");
    EXPECT_EQ(keyAt(36), "IGNITION/ExtMonitor");
    EXPECT_EQ(keyAt(41), "IGNITION/AktN2o");
    EXPECT_EQ(keyAt(43), "JET/JET0_1");
    EXPECT_EQ(keyAt(52), "JET/JET1_0");
    EXPECT_EQ(keyAt(142), "JET/RPM_JET_0");
    EXPECT_EQ(keyAt(152), "JET2/KOR23_0");
    EXPECT_EQ(keyAt(162), "JET3/TPS_0");
    EXPECT_EQ(keyAt(166), "JET3/POLOHA_PRO");
    EXPECT_EQ(keyAt(169), "JET3/VODA_10");
    EXPECT_EQ(keyAt(178), "JET3/VZDUCH110");
    EXPECT_EQ(keyAt(179), "PRIVERA/RPM_PRIV_0");
    EXPECT_EQ(keyAt(199), "PRIVERA/PRIV_HYSTER");
}

// The whole file a first save writes, typed key by key in save order, with the values of
// model 3's typed image.
TEST(Settings, FirstSaveWritesTheGoldenFile) {
    const Image img = velmora::test::goldenImage(3, 0);
    std::string expected = "[FORM_HLAV]\nLeft=-12\nTop=30\nComPort=2\nLanguage=1\n"
                           "File=/home/jan/k.ign\nIniDir=/home/jan/old/k.ign\nActivePage =4\n";
    auto section = [&](const char* name) { expected += std::string("\n[") + name + "]\n"; };
    auto key = [&](const std::string& name, int value) {
        expected += name + "=" + std::to_string(value) + "\n";
    };
    auto run = [&](std::initializer_list<const char*> names, int offset) {
        for (const char* name : names) key(name, img[offset++]);
    };
    auto series = [&](const std::string& stem, int first, int offset) {
        for (int i = 0; i < 10; ++i) key(stem + std::to_string(first + i), img[offset + i]);
    };
    auto flag = [&](const char* name, int offset, int bit) { key(name, (img[offset] & bit) != 0); };

    section("IGNITION");
    series("RpmAdv", 1, 40);
    series("Advance", 1, 50);
    run({"Klicovani", "Omez1", "Omez2", "gcClutch", "PilotLight"}, 22);
    run({"Gas1", "Gas2", "GasT", "GasD", "Retard1", "Retard2", "RetardT", "RetardD"}, 208);
    flag("GasEnable", 20, 0x10);
    flag("ZakazCteni", 20, 0x20);
    flag("Rpm2Krat", 20, 0x80);
    key("ExtMonitor", 1);
    flag("AktOmez1", 21, 0x20);
    flag("AktClutch", 21, 0x40);
    flag("AktBlok", 21, 0x80);
    flag("AktRpm", 21, 0x10);
    flag("AktN2o", 21, 0x08);
    section("JET");
    for (int r = 0; r < 10; ++r) series("JET" + std::to_string(r) + "_", 0, 60 + 10 * r);
    series("RPM_JET_", 0, 160);
    section("JET2");
    series("KOR23_", 0, 170);
    section("JET3");
    run({"TPS_0", "TPS_100"}, 200);
    key("CHLAZENI", img[207]);
    key("START_JET", img[206]);
    key("POLOHA_PRO", img[205]);
    run({"AKCEL_PRAH", "AKCEL_JET"}, 202);
    run({"VODA_10", "VODA20", "VODA50", "VODA80", "VODA110", "VZDUCH_10", "VZDUCH20", "VZDUCH50",
         "VZDUCH80", "VZDUCH110"},
        190);
    section("PRIVERA");
    series("RPM_PRIV_", 0, 220);
    series("NAP_PRIV_", 0, 230);
    key("PRIV_HYSTER", img[28]);

    TestDir dir;
    ProfileStore store(dir.file("Velmora52.ini"));
    Calibration cal = common::defaultsOf(3);
    cal[ExtMonitor] = 1;
    const WindowSettings w{-12, 30, 2, 1, "/home/jan/k.ign", "/home/jan/old/k.ign", 4};
    ASSERT_TRUE(saveSettings(store, w, cal));
    EXPECT_EQ(readFile(dir.file("Velmora52.ini")), expected);
}

TEST(Settings, MissingFileKeepsWhatTheWindowHolds) {
    TestDir dir;
    const ProfileStore store(dir.file("Velmora52.ini"));
    WindowSettings w = centred();
    w.file = "stale";
    w.activePage = 4;
    Calibration cal = model6();
    loadSettings(store, w, cal);
    EXPECT_EQ(w.left, 312);
    EXPECT_EQ(w.top, 144);
    EXPECT_EQ(w.comPort, 0);
    EXPECT_EQ(w.language, 0);
    EXPECT_EQ(w.file, "");
    EXPECT_EQ(w.iniDir, "");
    EXPECT_EQ(w.activePage, 1);
    EXPECT_EQ(cal, model6());
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 0u);
}

TEST(Settings, SaveThenLoadReproducesAll207Entries) {
    TestDir dir;
    std::mt19937 rng(52);
    Calibration saved;
    for (auto& b : saved.v) b = static_cast<std::uint8_t>(rng());
    WindowSettings w{-40, 2000000000, 3, 2, "/home/jan/k\xC5\x99ivka.ign", "/home/jan/a b.ign", 5};
    ProfileStore store(dir.file("Velmora52.ini"));
    ASSERT_TRUE(saveSettings(store, w, saved));

    // A new store, as at the next start; the window and calibration start elsewhere.
    const ProfileStore again(dir.file("Velmora52.ini"));
    WindowSettings loaded = centred();
    Calibration cal = model6();
    loadSettings(again, loaded, cal);
    EXPECT_EQ(loaded.left, -40);
    EXPECT_EQ(loaded.top, 2000000000);
    EXPECT_EQ(loaded.comPort, 3);
    EXPECT_EQ(loaded.language, 2);
    EXPECT_EQ(loaded.file, w.file);
    EXPECT_EQ(loaded.iniDir, w.iniDir);
    EXPECT_EQ(loaded.activePage, 5);
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const auto param = static_cast<Param>(p);
        // Only the per-model values stay out of the file.
        const bool stored = !(p == AdvanceMax || p == ModelFlag || p == MODEL_CONST ||
                              (p >= MODEL_TAB_0 && p <= at(MODEL_TAB_0, 9)));
        EXPECT_EQ(cal[param], stored ? saved[param] : model6()[param]) << paramName(param);
    }

    const std::string text = readFile(dir.file("Velmora52.ini"));
    EXPECT_EQ(text.rfind("[FORM_HLAV]\nLeft=-40\nTop=2000000000\nComPort=3\nLanguage=2\nFile=", 0),
              0u);
    EXPECT_NE(text.find("\nActivePage =5\n\n[IGNITION]\nRpmAdv1="), std::string::npos);
    std::size_t last = 0;
    for (const char* s : {"[IGNITION]", "[JET]", "[JET2]", "[JET3]", "[PRIVERA]"}) {
        const auto at = text.find(s);
        ASSERT_NE(at, std::string::npos) << s;
        EXPECT_GT(at, last) << s;
        last = at;
    }
}

TEST(Settings, SavingTheSameValuesAgainLeavesTheFileAsItIs) {
    TestDir dir;
    ProfileStore store(dir.file("Velmora52.ini"));
    const WindowSettings w = centred();
    ASSERT_TRUE(saveSettings(store, w, model6()));
    const std::string first = readFile(dir.file("Velmora52.ini"));
    ASSERT_TRUE(saveSettings(store, w, model6()));
    EXPECT_EQ(readFile(dir.file("Velmora52.ini")), first);
}

// A crash during a save must leave the previous settings or the new ones, never a mixture:
// the 207 entries reach the file in a single replace.
TEST(Settings, SaveReplacesTheFileInOneStep) {
    TestDir dir;
    const std::string path = dir.file("Velmora52.ini");
    ProfileStore store(path);
    Calibration cal = model6();
    ASSERT_TRUE(saveSettings(store, centred(), cal));

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    WindowSettings w = centred();
    w.left = 7;
    for (auto& v : cal.v) v = static_cast<std::uint8_t>(v + 1);
    ASSERT_TRUE(saveSettings(store, w, cal));

    int replaces = 0;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if ((e->mask & IN_MOVED_TO) != 0 && e->len > 0 &&
                std::string(e->name) == "Velmora52.ini")
                ++replaces;
            p += sizeof(inotify_event) + e->len;
        }
    }
    ::close(watch);
    EXPECT_EQ(replaces, 1);

    WindowSettings loaded;
    Calibration back;
    loadSettings(ProfileStore(path), loaded, back);
    EXPECT_EQ(loaded.left, 7);
    for (const SettingsKey& k : calibrationKeys()) EXPECT_EQ(back[k.param], cal[k.param]);
}

TEST(Settings, PageNumbersAndLow8Bits) {
    TestDir dir;
    struct Case {
        const char* text;
        std::uint8_t page;
    };
    for (const Case c :
         {Case{"ActivePage =3", 3}, Case{"ActivePage=7", 1}, Case{"ActivePage =258", 2},
          Case{"ActivePage=0", 1}, Case{"ActivePage=-251", 5}, Case{"ActivePage=two", 1}}) {
        writeFile(dir.file("a.ini"), std::string("[FORM_HLAV]\r\nComPort=263\r\nLanguage=-1\r\n") +
                                         c.text +
                                         "\r\n[IGNITION]\r\nOmez1=300\r\n"
                                         "RpmAdv3=abc\r\nRpmAdv4=-1\r\n");
        const ProfileStore store(dir.file("a.ini"));
        WindowSettings w = centred();
        Calibration cal = model6();
        loadSettings(store, w, cal);
        EXPECT_EQ(w.activePage, c.page) << c.text;
        EXPECT_EQ(w.comPort, 7);
        EXPECT_EQ(w.language, 255);
        EXPECT_EQ(cal[Omez1], 44);
        EXPECT_EQ(cal[at(RpmAdv1, 2)], model6()[at(RpmAdv1, 2)]);
        EXPECT_EQ(cal[at(RpmAdv1, 3)], 255);
    }
}

TEST(Settings, SavedPageIsTheFifthUnlessOneOfTheFirstFour) {
    TestDir dir;
    ProfileStore store(dir.file("a.ini"));
    for (int page : {1, 3, 4, 5, 0, 9}) {
        WindowSettings w = centred();
        w.activePage = static_cast<std::uint8_t>(page);
        ASSERT_TRUE(saveSettings(store, w, model6()));
        EXPECT_EQ(store.readInt("FORM_HLAV", "ActivePage", -1), page >= 1 && page <= 4 ? page : 5);
    }
}

TEST(Settings, PortsSectionAndCommentsSurviveASave) {
    TestDir dir;
    const std::string head =
        "; my serial adapters\n[PORTS]\nCOM1=/dev/ttyUSB0\ncom3 = /dev/ttyACM1 \n"
        "COM4=\n\n";
    writeFile(dir.file("a.ini"), head + "[FORM_HLAV]\nLeft=1\n");
    ProfileStore store(dir.file("a.ini"));
    const auto ports = loadPortMap(store);
    EXPECT_EQ(ports, (std::array<std::string, 6>{"/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyACM1",
                                                 "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyS5"}));
    ASSERT_TRUE(saveSettings(store, centred(), model6()));
    const std::string text = readFile(dir.file("a.ini"));
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.find("PORTS", head.size()), std::string::npos);
    EXPECT_EQ(loadPortMap(ProfileStore(dir.file("a.ini"))), ports);
}

// A port chosen in the dialog changes its one line of [PORTS] and nothing else: an entry is
// replaced where it stands, a new one follows the section's last entry, and a missing section
// comes last.
TEST(Settings, PortEntryChangesOnlyItsOwnLine) {
    TestDir dir;
    const std::string path = dir.file("a.ini");
    const std::string before = "; adapters\r\n[FORM_HLAV]\r\nComPort=2\r\n[ports]\r\n"
                               "com1 = /dev/ttyUSB0 ; old\r\nCOM4=\r\n# keep\r\n[JET]\r\nJET0_0=9";
    const struct {
        int slot;
        std::string device;
        std::string after;
    } cases[] = {
        {1, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         "; adapters\r\n[FORM_HLAV]\r\nComPort=2\r\n[ports]\r\n"
         "com1 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\r\nCOM4=\r\n"
         "# keep\r\n[JET]\r\nJET0_0=9"},
        {4, "/dev/rfcomm0",
         "; adapters\r\n[FORM_HLAV]\r\nComPort=2\r\n[ports]\r\n"
         "com1 = /dev/ttyUSB0 ; old\r\nCOM4=/dev/rfcomm0\r\n# keep\r\n[JET]\r\nJET0_0=9"},
        {6, "/tmp/velmora52",
         "; adapters\r\n[FORM_HLAV]\r\nComPort=2\r\n[ports]\r\n"
         "com1 = /dev/ttyUSB0 ; old\r\nCOM4=\r\nCOM6=/tmp/velmora52\r\n# keep\r\n[JET]\r\n"
         "JET0_0=9"},
    };
    for (const auto& c : cases) {
        writeFile(path, before);
        ProfileStore store(path);
        ASSERT_TRUE(writePortEntry(store, c.slot, c.device));
        EXPECT_EQ(readFile(path), c.after) << c.slot;
        EXPECT_EQ(loadPortMap(ProfileStore(path))[std::size_t(c.slot - 1)], c.device);
    }

    const std::string bare = "[FORM_HLAV]\nComPort=0\n";
    writeFile(path, bare);
    ProfileStore store(path);
    ASSERT_TRUE(writePortEntry(store, 2, "/dev/ttyACM0"));
    EXPECT_EQ(readFile(path), bare + "\n[PORTS]\nCOM2=/dev/ttyACM0\n");
}

TEST(Settings, SaveIntoAReadOnlyDirectoryFailsAndNamesTheFile) {
    TestDir dir;
    const std::string path = dir.file("Velmora52.ini");
    ProfileStore store(path);
    Calibration cal = model6();
    ASSERT_TRUE(saveSettings(store, centred(), cal));
    const std::string before = readFile(path);
    if (!dir.makeReadOnly()) GTEST_SKIP() << "cannot make a read-only directory here";

    WindowSettings w = centred();
    w.left = 5;
    cal[Omez1] = 90;
    const WriteResult r = saveSettings(store, w, cal);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, path);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 1u);
}

TEST(SettingsPath, XdgConfigHomeOrHomeConfigCreatedWhenMissing) {
    TestDir dir;
    {
        const std::string xdg = dir.file("cfg/deeper/");
        ScopedEnv env("XDG_CONFIG_HOME", xdg.c_str());
        EXPECT_EQ(settingsDirectory(), dir.file("cfg/deeper"));
        EXPECT_EQ(settingsFilePath(), dir.file("cfg/deeper/Velmora52.ini"));
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("cfg/deeper").c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    {
        ScopedEnv home("HOME", dir.path().c_str());
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
        EXPECT_EQ(settingsFilePath(), dir.file(".config/Velmora52.ini"));
        ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(settingsDirectory(), dir.file(".config"));
    }
}

TEST(SettingsPath, DataFolderUnderXdgDataHomeOrHomeLocalShare) {
    TestDir dir;
    {
        ScopedEnv env("XDG_DATA_HOME", dir.file("data/").c_str());
        EXPECT_EQ(dataFolder("logs"), dir.file("data/velmora52/logs"));
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("data/velmora52/logs").c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    ScopedEnv home("HOME", dir.path().c_str());
    ScopedEnv relative("XDG_DATA_HOME", "relative");
    EXPECT_EQ(dataFolder(), dir.file(".local/share/velmora52"));
}
