#include "lang/about.h"

#include <gtest/gtest.h>

using namespace velmora::lang;

namespace {
const MakerInfo kMaker{"Maker Ltd", "A. Person", "a@example.com", "123 456", "+9 123 456"};
}

TEST(About, TextsOfTheThreeLanguages) {
    EXPECT_EQ(aboutText(0, "Jul  2 2003", "17:22:34", kMaker),
              "Program pro nastavov\xc3\xa1n\xc3\xad zapalov\xc3\xa1n\xc3\xad           \n\n"
              "verze 1.0\n\nJul  2 2003\n\n17:22:34\n\nMaker Ltd\n\nKontakt:\n"
              "A. Person\na@example.com\n123 456\n");
    EXPECT_EQ(aboutText(1, "Jul  2 2003", "17:22:34", kMaker),
              "Programm for setting of ignition            \n\nversion 1.0\n\n"
              "Jul  2 2003\n\n17:22:34\n\nMaker Ltd\n\nContakt:\n"
              "A. Person\na@example.com\n+9 123 456\n");
    EXPECT_EQ(aboutText(2, "Jul  2 2003", "17:22:34", kMaker),
              "Program f\xc3\xbcr der Adjustierung der Z\xc3\xbcndung        \nVersion 1.0\n\n"
              "Jul  2 2003\n\n17:22:34\n\nMaker Ltd\n\nKontakt:\n"
              "A. Person\na@example.com\n+9 123 456\n");
    EXPECT_EQ(aboutText(7, "d", "t", kMaker), aboutText(1, "d", "t", kMaker));
}

TEST(About, ManualPerLanguage) {
    EXPECT_EQ(manualFileName(0), "manual_cs.html");
    EXPECT_EQ(manualFileName(1), "manual_en.html");
    EXPECT_EQ(manualFileName(2), "manual_de.html");
    EXPECT_EQ(manualFileName(3), "");
}
