// The settings files and the rules by which stored values are read.
#include "station/settings.h"

#include <gtest/gtest.h>

#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/sstream.h>
#include <wx/wfstream.h>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string TempPath(const char* name) {
    return (wxFileName::GetTempDir() + "/vemo_settings_" + name).ToStdString();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(LeadingInt, ReadsLikeTheCLibrary) {
    EXPECT_EQ(LeadingInt("2x"), 2);
    EXPECT_EQ(LeadingInt("x2"), 0);
    EXPECT_EQ(LeadingInt("  -42abc"), -42);
    EXPECT_EQ(LeadingInt("+7"), 7);
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt(std::wstring(L" 70000")), 70000);
    EXPECT_EQ(LeadingInt("99999999999999999999"), 2147483647); // clamped, never overflows
}

TEST(FlagFromText, OnlyExactFalseIsFalse) {
    EXPECT_FALSE(FlagFromText("false"));
    EXPECT_TRUE(FlagFromText("False"));
    EXPECT_TRUE(FlagFromText(""));
    EXPECT_TRUE(FlagFromText("yes"));
    EXPECT_TRUE(FlagFromText("true"));
}

TEST(InitCommands, LinesBecomeEntriesWithCarriageReturn) {
    std::string path = TempPath("init.ini");
    WriteFile(path, "i001\nabcdefghijkl\ni2\ni003");
    InitCommandTable table;
    ASSERT_TRUE(ReadInitCommandsFile(path, table));
    EXPECT_STREQ(table[0], "i001\r");
    // Fault mended: a long line spilled its rest into the following entries.
    EXPECT_STREQ(table[1], "abcde");
    EXPECT_STREQ(table[2], "i2\r");
    EXPECT_STREQ(table[3], "i003"); // the last line needs no line end
    EXPECT_EQ(table[4][0], '\0');
    std::remove(path.c_str());
}

TEST(InitCommands, MoreThanTenEntriesAreIgnoredNotOverrun) {
    std::string path = TempPath("init_long.ini");
    std::string content;
    for (int i = 0; i < 25; ++i)
        content += "c" + std::to_string(100 + i) + "\n";
    WriteFile(path, content);
    struct {
        InitCommandTable table;
        char guard[16];
    } memory;
    std::memset(memory.guard, 0x5A, sizeof memory.guard);
    ASSERT_TRUE(ReadInitCommandsFile(path, memory.table));
    EXPECT_STREQ(memory.table[9], "c109\r");
    for (char c : memory.guard)
        EXPECT_EQ(c, 0x5A);
    std::remove(path.c_str());
}

TEST(InitCommands, MissingFileIsEmptyList) {
    InitCommandTable table;
    std::memset(table, 'x', sizeof table);
    EXPECT_FALSE(ReadInitCommandsFile(TempPath("does_not_exist.ini"), table));
    for (auto& entry : table)
        EXPECT_EQ(entry[0], '\0');
}

TEST(PressFile, CommasAndColonsGiveTheSamePresses) {
    PressList commas, colons, mixed;
    ParsePressLine("1250,Press A,2010,Press B", commas);
    ParsePressLine("1250:Press A:2010:Press B", colons);
    ParsePressLine("1250:Press A,,2010::Press B", mixed);
    for (const PressList* p : {&commas, &colons, &mixed}) {
        ASSERT_EQ(p->names.size(), 2u);
        EXPECT_EQ(p->names[0], "Press A");
        EXPECT_EQ(p->names[1], "Press B");
        EXPECT_FLOAT_EQ(p->surfaces[0], 1250.0f);
        EXPECT_FLOAT_EQ(p->surfaces[1], 2010.0f);
    }
}

TEST(PressFile, SurfacesThatGiveNoFiniteForceAreLeftInvalid) {
    // Fault mended: inf, nan and negative surfaces gave forces of inf, nan or
    // below zero, and a report followed.
    PressList presses;
    ParsePressLine("1250:A,inf:B,nan:C,1e39:D,-5:E,0:F,abc:G,800:H", presses);
    ASSERT_EQ(presses.names.size(), 8u);
    EXPECT_EQ(presses.names[7], "H"); // later presses keep their places
    EXPECT_FLOAT_EQ(presses.surfaces[0], 1250.0f);
    EXPECT_FLOAT_EQ(presses.surfaces[7], 800.0f);
    for (int i = 1; i < 7; ++i)
        EXPECT_EQ(presses.surfaces[i], 0.0f) << presses.names[i];
}

TEST(PressFile, MoreThanTenPairsAreIgnored) {
    std::string line;
    for (int i = 0; i < 14; ++i)
        line += std::to_string(100 + i) + ":P" + std::to_string(i) + ",";
    PressList presses;
    ParsePressLine(line.c_str(), presses);
    EXPECT_EQ(presses.names.size(), 10u);
    EXPECT_FLOAT_EQ(presses.surfaces[9], 109.0f);
}

TEST(PressFile, LookupsOutsideTheListGiveNothing) {
    PressList presses;
    ParsePressLine("1250:Press A", presses);
    EXPECT_EQ(PressNameAt(presses, 0), "Press A");
    EXPECT_EQ(PressNameAt(presses, 1), "");
    EXPECT_EQ(PressNameAt(presses, -1), "");
    EXPECT_DOUBLE_EQ(SurfaceAt(presses, 0), 1250.0);
    EXPECT_DOUBLE_EQ(SurfaceAt(presses, 10), 0.0);
    PressList none = ReadPressFile(TempPath("no_superfici.ini"));
    EXPECT_FALSE(none.loaded);
    EXPECT_EQ(PressNameAt(none, 0), "");
}

TEST(PressFile, FileIsReadFromItsFirstLine) {
    std::string path = TempPath("superfici.ini");
    WriteFile(path, "500.5:Small,1000:Big\r\n2000:Ignored\n");
    PressList presses = ReadPressFile(path);
    ASSERT_TRUE(presses.loaded);
    ASSERT_EQ(presses.names.size(), 2u);
    EXPECT_FLOAT_EQ(presses.surfaces[0], 500.5f);
    EXPECT_EQ(presses.names[1], "Big"); // the line end is no part of the name
    std::remove(path.c_str());
}

TEST(ConfigStore, SaveKeepsUnknownKeysAndOrder) {
    std::string path = TempPath("config.ini");
    WriteFile(path, "ip=127.0.0.9\ncustom=keep me\nport=65100\n");
    wxFileInputStream in(path);
    wxFileConfig config(in, wxConvAuto());
    config.Write("port", "1234");
    config.Write("dir_path", "C:\\reports");
    ASSERT_TRUE(SaveConfigAtomically(config, path));
    std::string saved = ReadFile(path);
    saved.erase(std::remove(saved.begin(), saved.end(), '\r'), saved.end()); // CR LF on Windows
    EXPECT_EQ(saved, "ip=127.0.0.9\ncustom=keep me\nport=1234\ndir_path=C:\\\\reports\n");
    EXPECT_FALSE(wxFileName::FileExists(path + ".tmp"));
    std::remove(path.c_str());
}

#ifndef _WIN32 // directory permissions
TEST(ConfigStore, FailedSaveLeavesOldFileWhole) {
    std::string dir = TempPath("readonly_dir");
    wxFileName::Mkdir(dir);
    std::string path = dir + "/config.ini";
    WriteFile(path, "ip=127.0.0.4\n");
    chmod(dir.c_str(), 0555);
    wxFileConfig config(wxEmptyString, wxEmptyString, wxEmptyString, wxEmptyString, 0);
    config.Write("ip", "127.0.0.8");
    bool saved = SaveConfigAtomically(config, path);
    chmod(dir.c_str(), 0755);
    if (getuid() != 0) { // root writes anyway
        EXPECT_FALSE(saved);
        EXPECT_EQ(ReadFile(path), "ip=127.0.0.4\n");
    }
    std::remove(path.c_str());
    wxFileName::Rmdir(dir);
}
#endif
