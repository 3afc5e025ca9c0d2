#include "lang/map_texts.h"
#include "lang/system_errors.h"
#include "lang/text_sets.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <iconv.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace velmora::lang;

namespace {

using Key = std::pair<std::string, TextTarget>;

std::set<Key> targetsOf(const TextSet& set) {
    std::set<Key> keys;
    for (const TextEntry& e : set) keys.insert({std::string(e.objectName), e.target});
    return keys;
}

std::string textOf(int language, std::string_view name, TextTarget target) {
    const TextEntry* e = textSet(language)->find(name, target);
    return e ? std::string(e->text) : std::string("<missing>");
}

// True when the UTF-8 text converts to Windows-1250 without loss.
bool fitsWindows1250(std::string_view text) {
    iconv_t cd = iconv_open("WINDOWS-1250", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in(text);
    std::vector<char> out(in.size() + 1);
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    return r != static_cast<size_t>(-1) && inLeft == 0;
}

class RecordingSink : public TextSetSink {
public:
    std::vector<std::string> calls;
    void setChecked(std::string_view item, bool checked) override {
        calls.push_back("check " + std::string(item) + (checked ? " on" : " off"));
    }
    void setLanguage(std::uint8_t language) override {
        calls.push_back("language " + std::to_string(language));
    }
    void setWindowCaption(std::string_view caption) override {
        calls.push_back("caption " + std::string(caption));
    }
    void setText(const TextEntry& e) override {
        calls.push_back("text " + std::string(e.objectName));
    }
};

} // namespace

TEST(TextSets, EveryLanguageCoversTheSameTargetsOnce) {
    const std::set<Key> english = targetsOf(*textSet(1));
    for (int language : {0, 1, 2}) {
        const TextSet& set = *textSet(language);
        EXPECT_EQ(targetsOf(set).size(), set.count) << "duplicate row in " << set.module;
        EXPECT_EQ(targetsOf(set), english) << set.module;
        for (const TextEntry& e : set) {
            EXPECT_FALSE(e.objectName.empty());
            EXPECT_TRUE(fitsWindows1250(e.text)) << set.module << " " << e.objectName;
        }
        EXPECT_TRUE(fitsWindows1250(set.windowCaption));
    }
}

TEST(TextSets, LanguageIndexSelectsTheRightSet) {
    struct Expect {
        int index;
        const char* module;
        const char* checked;
        const char* readCaption;
    };
    for (const Expect& x : {Expect{0, "Jazyk2", "MenuCzech", "\xC4\x8C\xC3\xAD&st"},
                            Expect{1, "Jazyk1", "MenuEnglish", "&Read"},
                            Expect{2, "Jazyk3", "MenuGerman", "&Lesen"}}) {
        const TextSet* set = textSet(x.index);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->module, x.module);
        EXPECT_EQ(set->language, x.index);
        EXPECT_EQ(set->checkedItem, x.checked);
        EXPECT_EQ(textOf(x.index, "MenuRead", TextTarget::MenuCaption), x.readCaption);
    }
}

TEST(TextSets, OtherLanguageValuesHaveNoSetAndChangeNothing) {
    for (int language : {-1, 3, 255, 256}) {
        EXPECT_EQ(textSet(language), nullptr);
        RecordingSink sink;
        EXPECT_FALSE(applyTextSet(language, sink));
        EXPECT_TRUE(sink.calls.empty());
    }
}

TEST(TextSets, ApplyingChecksOneItemThenSetsLanguageCaptionAndEntries) {
    for (int language : {0, 1, 2}) {
        const TextSet& set = *textSet(language);
        RecordingSink sink;
        ASSERT_TRUE(applyTextSet(language, sink));
        ASSERT_EQ(sink.calls.size(), 5 + set.count);
        const std::vector<std::string> head(sink.calls.begin(), sink.calls.begin() + 5);
        const auto mark = [&](const char* item) {
            return std::string("check ") + item + (set.checkedItem == item ? " on" : " off");
        };
        EXPECT_EQ(head, (std::vector<std::string>{mark("MenuEnglish"), mark("MenuCzech"),
                                                  mark("MenuGerman"),
                                                  "language " + std::to_string(language),
                                                  "caption " + std::string(set.windowCaption)}));
    }
}

TEST(TextSets, TextsKeepEveryCharacterAndBlank) {
    EXPECT_EQ(textSet(0)->windowCaption, "Programov\xC3\xA1n\xC3\xAD jednotky Velmora 52");
    EXPECT_EQ(textSet(2)->windowCaption, "Programmierung der Velmora 52 Z\xC3\xBCndbox");
    EXPECT_EQ(textOf(0, "Label2", TextTarget::ControlCaption), "P\xC5\x99"
                                                               "edstih [\xC2\xB0]");
    EXPECT_EQ(textOf(2, "LabelAkcelJet", TextTarget::ControlCaption), "Gr\xC3\xB6\xC3\x9F"
                                                                      "e [us]");
    EXPECT_EQ(textOf(1, "GroupBoxJet", TextTarget::ControlCaption), "Injection ");
    EXPECT_EQ(textOf(1, "MenuExit", TextTarget::MenuCaption), "E&xit");
    EXPECT_EQ(textOf(0, "TabSheet3", TextTarget::TabCaption), "R\xC5\xAFzn\xC3\xA9");
    EXPECT_EQ(textOf(0, "MenuCom", TextTarget::MenuHint),
              "Nastaven\xC3\xAD \xC4\x8D\xC3\xADsla seriv\xC3\xA9ho portu (Com) ");
    EXPECT_EQ(textOf(0, "MenuVerify", TextTarget::MenuHint),
              "Ov\xC4\x9B\xC5\x99"
              "en\xC3\xAD|Ov\xC4\x9B\xC5\x99"
              "en\xC3\xAD zda  nastaven\xC3\xA9 "
              "parametry souhlas\xC3\xAD s parametry naprogramovan\xC3\xBDmi do "
              "zapalov\xC3\xA1n\xC3\xAD");
    EXPECT_EQ(textOf(1, "BitBtn1", TextTarget::ControlCaption), "&Program");
    EXPECT_EQ(textOf(1, "BitBtn1", TextTarget::ControlHint),
              "Programing  set parametrs to ignition");
    EXPECT_EQ(textOf(2, "MenuGerman", TextTarget::MenuHint), "Deutche Men\xC3\xBC");
    // The German help menu has an empty hint of its own, which blanks the status bar.
    EXPECT_EQ(textOf(2, "MenuHelp", TextTarget::MenuHint), "");
}

TEST(TextSets, FixedDesignTextsAreInNoSet) {
    const Key fixed[] = {
        {"Label1", TextTarget::ControlCaption},
        {"Label9", TextTarget::ControlCaption},
        {"CheckBoxAktClutch", TextTarget::ControlCaption},
        {"CheckBoxAktRpm", TextTarget::ControlCaption},
        {"GroupBoxTps", TextTarget::ControlCaption},
        {"GroupBoxPrivera", TextTarget::ControlCaption},
        {"LabelPriHyster", TextTarget::ControlCaption},
        {"TabSheet5", TextTarget::TabCaption},
        {"CheckBoxExtMonitor", TextTarget::ControlCaption},
        {"LabelHlaseni", TextTarget::ControlCaption},
        {"MenuCom1", TextTarget::MenuCaption},
        {"MenuCom6", TextTarget::MenuHint},
        {"GroupBox4", TextTarget::ControlHint},
        {"BitBtnJetMinus", TextTarget::ControlHint},
        {"BitBtnJetPlus", TextTarget::ControlHint},
    };
    for (int language : {0, 1, 2}) {
        for (const Key& k : fixed) {
            EXPECT_EQ(textSet(language)->find(k.first, k.second), nullptr)
                << textSet(language)->module << " " << k.first;
        }
    }
}

TEST(TextSets, HintSplitsAtTheFirstBar) {
    const auto split = [](std::string_view hint) {
        const HintParts p = splitHint(hint);
        return std::make_pair(std::string(p.shortPart), std::string(p.longPart));
    };
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(split(textOf(1, "Label1", TextTarget::ControlHint)),
              P("Round per Minute", "Speed - Round per Minute"));
    EXPECT_EQ(split("Set com 1"), P("Set com 1", "Set com 1"));
    EXPECT_EQ(split("|Set Englich menu"), P("", "Set Englich menu"));
    EXPECT_EQ(split("Short|"), P("Short", ""));
    EXPECT_EQ(split("a|b|c"), P("a", "b|c"));
    EXPECT_EQ(split(""), P("", ""));
}

// Every text of the map window in all three languages, within Windows-1250, with the same
// placeholders in each language.
TEST(MapTexts, EveryTextInEveryLanguage) {
    const auto placeholders = [](std::string_view t) {
        std::set<char> found;
        for (std::size_t i = 0; i + 1 < t.size(); ++i)
            if (t[i] == '%' && t[i + 1] >= '1' && t[i + 1] <= '9') found.insert(t[i + 1]);
        return found;
    };
    for (int i = 0; i < static_cast<int>(MapText::Count); ++i) {
        const auto t = static_cast<MapText>(i);
        const char* en = mapText(t, 1);
        ASSERT_NE(en, nullptr);
        for (std::uint8_t language = 0; language < 3; ++language) {
            const char* text = mapText(t, language);
            ASSERT_NE(text, nullptr);
            EXPECT_STRNE(text, "") << i;
            EXPECT_TRUE(fitsWindows1250(text)) << i << " " << text;
            EXPECT_EQ(placeholders(text), placeholders(en)) << i << " " << text;
        }
    }
    EXPECT_EQ(mapText(MapText::ViewMenu, 3), nullptr);
    EXPECT_STREQ(mapText(MapText::HeatColours, 1), "Heat colours");
    EXPECT_STREQ(mapText(MapText::LogAnalysed, 2), "Log %1: %2 Messwerte, %3 gezählt.");
}

// The common failures read as one of four causes in each language, never as the system's
// English; every other errno and 0 fall back to a general cause.
TEST(SystemErrors, CommonFailuresInEachLanguage) {
    const std::pair<int, int> kinds[] = {{ENOSPC, 0}, {EDQUOT, 0}, {EACCES, 1},  {EPERM, 1},
                                         {EROFS, 2},  {ENOENT, 3}, {ENOTDIR, 3}, {EIO, 4},
                                         {EINVAL, 4}, {0, 4}};
    for (std::uint8_t language = 0; language < 3; ++language) {
        std::map<int, std::string> byKind;
        for (const auto& [error, kind] : kinds) {
            const std::string text = systemErrorText(error, language);
            EXPECT_FALSE(text.empty());
            EXPECT_TRUE(fitsWindows1250(text)) << text;
            if (error != 0) {
                EXPECT_NE(text, std::strerror(error));
            }
            auto [it, added] = byKind.emplace(kind, text);
            EXPECT_EQ(it->second, text) << error << " in " << int(language);
        }
        std::set<std::string> distinct;
        for (const auto& [kind, text] : byKind) distinct.insert(text);
        EXPECT_EQ(distinct.size(), 5u) << int(language);
        if (language != 1) {
            EXPECT_NE(byKind[0], systemErrorText(ENOSPC, 1));
        }
    }
}
