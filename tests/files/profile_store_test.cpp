#include "files/profile_store.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::readFile;
using velmora::test::TestDir;
using velmora::test::writeFile;

TEST(ProfileStore, FindsSectionsAndKeysWhateverTheirCaseAndBlanks) {
    TestDir dir;
    writeFile(dir.file("a.ini"), "[ Form_Hlav ]\r\n  activepage   =  4  \r\nLeft=-20\r\n");
    const ProfileStore store(dir.file("a.ini"));
    EXPECT_EQ(store.readInt("FORM_HLAV", "ActivePage", 1), 4);
    EXPECT_EQ(store.readInt("form_hlav", "ActivePage ", 1), 4);
    EXPECT_EQ(store.readInt("FORM_HLAV", "LEFT", 0), -20);
    EXPECT_EQ(store.readString("FORM_HLAV", "ActivePage", "x"), "4");
    EXPECT_EQ(store.readInt("FORM_HLAV", "Top", 77), 77);
    EXPECT_EQ(store.readInt("OTHER", "Left", 5), 5);
    EXPECT_EQ(store.readString("FORM_HLAV", "File", "none"), "none");

    writeFile(dir.file("bom.ini"), "\xEF\xBB\xBF[PORTS]\nCOM1=/dev/ttyUSB1\n");
    EXPECT_EQ(ProfileStore(dir.file("bom.ini")).readString("PORTS", "COM1", ""), "/dev/ttyUSB1");
}

TEST(ProfileStore, IntegerNeedsTheWholeValueToBeA32BitDecimal) {
    TestDir dir;
    writeFile(dir.file("a.ini"), "[S]\n"
                                 "a= 42 \n"
                                 "b=+7\n"
                                 "c=-2147483648\n"
                                 "d=2147483647\n"
                                 "e=2147483648\n"
                                 "f=-2147483649\n"
                                 "g=12abc\n"
                                 "h=\n"
                                 "i=-\n"
                                 "j=0x10\n"
                                 "k=99999999999999999999999\n"
                                 "l=1 2\n");
    const ProfileStore store(dir.file("a.ini"));
    EXPECT_EQ(store.readInt("S", "a", -1), 42);
    EXPECT_EQ(store.readInt("S", "b", -1), 7);
    EXPECT_EQ(store.readInt("S", "c", -1), -2147483647 - 1);
    EXPECT_EQ(store.readInt("S", "d", -1), 2147483647);
    for (const char* key : {"e", "f", "g", "h", "i", "j", "k", "l"}) {
        EXPECT_EQ(store.readInt("S", key, -5), -5) << key;
    }
}

TEST(ProfileStore, WritesInPlaceAndKeepsEveryOtherLineByteForByte) {
    TestDir dir;
    const std::string before = "; written by hand\r\n"
                               "[PORTS]\r\n"
                               "COM1=/dev/ttyUSB0\r\n"
                               "\r\n"
                               "[FORM_HLAV]\r\n"
                               "Left = 10\r\n"
                               "Unknown=keep me  \r\n"
                               "ActivePage=2\r\n"
                               "\r\n"
                               "[JET]\r\n"
                               "JET0_0=100";
    writeFile(dir.file("a.ini"), before);
    ProfileStore store(dir.file("a.ini"));
    ASSERT_TRUE(store.writeInt("FORM_HLAV", "Left", -3));
    ASSERT_TRUE(store.writeInt("FORM_HLAV", "ActivePage ", 5));
    ASSERT_TRUE(store.writeString("FORM_HLAV", "File", "/home/j\xC3\xA1/a.ign"));
    ASSERT_TRUE(store.writeInt("JET", "JET0_1", 7));
    ASSERT_TRUE(store.writeInt("PRIVERA", "PRIV_HYSTER", 40));
    EXPECT_EQ(readFile(dir.file("a.ini")), "; written by hand\r\n"
                                           "[PORTS]\r\n"
                                           "COM1=/dev/ttyUSB0\r\n"
                                           "\r\n"
                                           "[FORM_HLAV]\r\n"
                                           "Left = -3\r\n"
                                           "Unknown=keep me  \r\n"
                                           "ActivePage=5\r\n"
                                           "File=/home/j\xC3\xA1/a.ign\r\n"
                                           "\r\n"
                                           "[JET]\r\n"
                                           "JET0_0=100\r\n"
                                           "JET0_1=7\r\n"
                                           "\r\n"
                                           "[PRIVERA]\r\n"
                                           "PRIV_HYSTER=40\r\n");
    EXPECT_EQ(store.readString("FORM_HLAV", "File", ""), "/home/j\xC3\xA1/a.ign");
}

TEST(ProfileStore, NewFileTakesItsOrderFromTheWritesAndUsesLineFeeds) {
    TestDir dir;
    ProfileStore store(dir.file("new.ini"));
    EXPECT_EQ(store.readInt("A", "x", 3), 3);
    ASSERT_TRUE(store.writeInt("A", "x", 1));
    ASSERT_TRUE(store.writeString("B", "y", ""));
    ASSERT_TRUE(store.writeInt("A", "ActivePage ", 2));
    EXPECT_EQ(readFile(dir.file("new.ini")), "[A]\nx=1\nActivePage =2\n\n[B]\ny=\n");
    EXPECT_EQ(store.readInt("A", "ActivePage", 0), 2);
    EXPECT_EQ(store.readString("B", "y", "default"), "");
}

TEST(ProfileStore, ValueCannotCarryALineBreakIntoTheFile) {
    TestDir dir;
    ProfileStore store(dir.file("a.ini"));
    ASSERT_TRUE(store.writeString("FORM_HLAV", "File", "/tmp/x\n[IGNITION]\nOmez1=1"));
    ASSERT_TRUE(store.writeString("FORM_HLAV", "IniDir", std::string("/tmp/y\0z", 8)));
    EXPECT_EQ(readFile(dir.file("a.ini")), "[FORM_HLAV]\nFile=/tmp/x\nIniDir=/tmp/y\n");
}

TEST(ProfileStore, SeesChangesMadeToTheFileByOthers) {
    TestDir dir;
    ProfileStore store(dir.file("a.ini"));
    ASSERT_TRUE(store.writeInt("S", "a", 1));
    EXPECT_EQ(store.readInt("S", "a", 0), 1);
    writeFile(dir.file("a.ini"), "[S]\na=22\n[PORTS]\nCOM2=/dev/ttyACM0\n");
    EXPECT_EQ(store.readInt("S", "a", 0), 22);
    ASSERT_TRUE(store.writeInt("S", "b", 3));
    EXPECT_EQ(readFile(dir.file("a.ini")), "[S]\na=22\nb=3\n[PORTS]\nCOM2=/dev/ttyACM0\n");
    ::unlink(dir.file("a.ini").c_str());
    EXPECT_EQ(store.readInt("S", "a", -1), -1);
}

TEST(ProfileStore, DuplicateSectionsAndKeysAnswerWithTheFirst) {
    TestDir dir;
    writeFile(dir.file("a.ini"), "[S]\na=1\na=2\n[T]\n[S]\nb=3\n");
    ProfileStore store(dir.file("a.ini"));
    EXPECT_EQ(store.readInt("S", "a", 0), 1);
    EXPECT_EQ(store.readInt("S", "b", 0), 3);
    ASSERT_TRUE(store.writeInt("S", "a", 9));
    ASSERT_TRUE(store.writeInt("S", "c", 4));
    EXPECT_EQ(readFile(dir.file("a.ini")), "[S]\na=9\na=2\nc=4\n[T]\n[S]\nb=3\n");
}

TEST(ProfileStore, JunkNulBytesAndALongLineDoNotHideTheEntries) {
    using namespace std::string_literals;
    TestDir dir;
    std::string junk = "\x01\xFF\x00[\x00]=\x00\n"s;
    junk.append(3u << 20, 'x'); // a line of 3 MiB
    junk += "=\x80\n[S]\r\nnum=12\r\n\x00\x00\n;a=1\n=\nbin\0ary=5\n]\nlast= 4\n[\n"s;
    writeFile(dir.file("a.ini"), junk);
    ProfileStore store(dir.file("a.ini"));
    EXPECT_EQ(store.readInt("S", "num", 0), 12);
    EXPECT_EQ(store.readInt("S", "last", 0), 4);
    EXPECT_EQ(store.readInt("S", "x", 8), 8);
    EXPECT_EQ(store.readString("S", ";a", "d"), "d");
    EXPECT_EQ(store.readString("S", "bin\0ary"s, "d"), "5");
    ASSERT_TRUE(store.writeInt("S", "num", 13));
    EXPECT_EQ(readFile(dir.file("a.ini")).size(), junk.size()); // "12" became "13"
    EXPECT_EQ(store.readInt("S", "num", 0), 13);
}

TEST(ProfileStore, OversizedFileGivesDefaultsAndIsNotOverwritten) {
    TestDir dir;
    const std::string big = "[S]\na=1\n" + std::string(ProfileStore::MaxFileSize, '\n');
    writeFile(dir.file("a.ini"), big);
    ProfileStore store(dir.file("a.ini"));
    EXPECT_EQ(store.readInt("S", "a", 7), 7);
    const WriteResult r = store.writeInt("S", "a", 2);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, dir.file("a.ini"));
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(readFile(dir.file("a.ini")), big);
}

TEST(ProfileStore, FailedWriteNamesTheFileAndChangesNothing) {
    TestDir dir;
    writeFile(dir.file("a.ini"), "[S]\na=1\n");
    ProfileStore store(dir.file("a.ini"));
    if (!dir.makeReadOnly()) GTEST_SKIP() << "cannot make a read-only directory here";
    const WriteResult r = store.writeInt("S", "a", 2);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, dir.file("a.ini"));
    EXPECT_NE(r.error.find(dir.path()), std::string::npos) << r.error;
    EXPECT_EQ(readFile(dir.file("a.ini")), "[S]\na=1\n");
    EXPECT_EQ(store.readInt("S", "a", 0), 1);
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 1u);
}

TEST(ProfileStore, KeepsPermissionsAndFollowsALink) {
    TestDir dir;
    writeFile(dir.file("real.ini"), "[S]\na=1\n");
    ::chmod(dir.file("real.ini").c_str(), 0640);
    ASSERT_EQ(::symlink("real.ini", dir.file("link.ini").c_str()), 0);
    ProfileStore store(dir.file("link.ini"));
    ASSERT_TRUE(store.writeInt("S", "a", 2));
    ASSERT_TRUE(store.sync());
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.file("real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(dir.file("real.ini")), "[S]\na=2\n");
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 2u); // no temporary file is left
}
