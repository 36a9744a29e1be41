#include "app/IniFile.h"
#include "app/SettingsStore.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarnvik;
using tarnvik::test::ReadFile;
using tarnvik::test::TempDir;
using tarnvik::test::WriteFile;
namespace fs = std::filesystem;

namespace {

// A settings file as users' files may be: CR LF line endings, a comment,
// quotes, names in odd case, spaces around '=' and keys the program does
// not know.
const std::string kUsersFile =
    "; TarnvikPlayer\r\n"
    "[MAIN]\r\n"
    "Index=1\r\n"
    "count=2\r\n"
    "\r\n"
    "[inDEX_0]\r\n"
    "ip=\"10.0.0.5\"\r\n"
    "PORT = 2300\r\n"
    "Extra=unknown key\r\n"
    "\r\n"
    "[Other]\r\n"
    "Port=1\r\n";

TEST(IniFile, EditsARealFileByteForByte)
{
    TempDir dir;
    const fs::path path = dir / "TarnvikPlayer.ini";
    WriteFile(path, kUsersFile);
    IniFile ini(path);

    EXPECT_EQ(ini.GetString("index_0", "IP", ""), "10.0.0.5");
    EXPECT_EQ(ini.GetInt("Index_0", "port", 2200), 2300);
    EXPECT_EQ(ini.GetInt("main", "index", 0), 1);

    ASSERT_TRUE(ini.WriteInt("Main", "index", 0));
    ASSERT_TRUE(ini.WriteInt("INDEX_0", "Port", 2400));
    ASSERT_TRUE(ini.WriteInt("INDEX_0", "Speed", 2));
    ASSERT_TRUE(ini.WriteString("INDEX_1", "ip", "dvr.local"));
    ASSERT_TRUE(ini.WriteString("INDEX_0", "Extra", std::nullopt));
    EXPECT_EQ(ReadFile(path),
              "; TarnvikPlayer\r\n"
              "[MAIN]\r\n"
              "Index=0\r\n"
              "count=2\r\n"
              "\r\n"
              "[inDEX_0]\r\n"
              "ip=\"10.0.0.5\"\r\n"
              "PORT = 2400\r\n"
              "Speed=2\r\n"
              "\r\n"
              "[Other]\r\n"
              "Port=1\r\n"
              "[INDEX_1]\r\n"
              "ip=dvr.local\r\n");

    ASSERT_TRUE(ini.WriteString("other", std::nullopt, std::nullopt));
    ASSERT_TRUE(ini.WriteString("index_1", "ip", "x"));
    EXPECT_EQ(ReadFile(path),
              "; TarnvikPlayer\r\n"
              "[MAIN]\r\n"
              "Index=0\r\n"
              "count=2\r\n"
              "\r\n"
              "[inDEX_0]\r\n"
              "ip=\"10.0.0.5\"\r\n"
              "PORT = 2400\r\n"
              "Speed=2\r\n"
              "\r\n"
              "[INDEX_1]\r\n"
              "ip=x\r\n");
    // Writes leave no temporary files behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(IniFile, MissingFile)
{
    TempDir dir;
    const fs::path path = dir / "sub" / "dir" / "new.ini";
    IniFile ini(path);
    EXPECT_EQ(ini.GetString("S", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.GetInt("S", "k", 9), 9);
    // Removing from nothing creates nothing.
    EXPECT_TRUE(ini.WriteString("S", "k", std::nullopt));
    EXPECT_TRUE(ini.WriteString("S", std::nullopt, std::nullopt));
    EXPECT_FALSE(fs::exists(path));

    ASSERT_TRUE(ini.WriteInt("S", "k", 5));
    EXPECT_EQ(ReadFile(path), "[S]\nk=5\n");

    const fs::path crlfPath = dir / "crlf.ini";
    ASSERT_TRUE(IniFile(crlfPath, LineEnding::CrLf).WriteString("S", "k", "v"));
    EXPECT_EQ(ReadFile(crlfPath), "[S]\r\nk=v\r\n");
}

TEST(IniFile, FailsWithoutHarmWhereItCannotWrite)
{
    TempDir dir;
    // A regular file where the folder should be: no user, root included, can
    // create a file below it.
    WriteFile(dir / "plain", "x");
    IniFile blocked(dir / "plain" / "a.ini");
    EXPECT_FALSE(blocked.WriteString("S", "k", "v"));
    EXPECT_EQ(blocked.GetString("S", "k", "d"), "d");

    fs::create_directory(dir / "folder.ini");
    IniFile folder(dir / "folder.ini");
    EXPECT_EQ(folder.GetInt("S", "k", 3), 3);
    EXPECT_FALSE(folder.WriteInt("S", "k", 1));
    EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));

    // Too large to be a settings file: read as empty and never replaced.
    const fs::path huge = dir / "huge.ini";
    WriteFile(huge, "[S]\nk=1\n");
    fs::resize_file(huge, kIniMaxFileSize + 1);
    IniFile big(huge);
    EXPECT_EQ(big.GetInt("S", "k", 7), 7);
    EXPECT_FALSE(big.WriteInt("S", "k", 2));
    EXPECT_EQ(fs::file_size(huge), kIniMaxFileSize + 1);

    // An edit that is refused leaves the file alone.
    const fs::path normal = dir / "normal.ini";
    WriteFile(normal, "[S]\nk=1\n");
    EXPECT_FALSE(IniFile(normal).WriteString("S", "k", "a\nb"));
    EXPECT_EQ(ReadFile(normal), "[S]\nk=1\n");
}

TEST(IniFile, KeepsPermissionsAndFollowsLinks)
{
    TempDir dir;
    const fs::path target = dir / "real.ini";
    WriteFile(target, "[S]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const fs::path link = dir / "link.ini";
    fs::create_symlink(target, link);

    ASSERT_TRUE(IniFile(link).WriteInt("S", "k", 2));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "[S]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(SettingsStore, GetAndPutByPath)
{
    TempDir dir;
    const fs::path path = dir / "dvr.ini";
    WriteFile(path, "[Ver]\nVersion=\"1.0.0\"\n[Camera]\nCameraBright1=100\nCameraHue1=90\n");

    EXPECT_EQ(SettingsStore::GetText("Ver", "Version", std::nullopt, path), "1.0.0");
    EXPECT_EQ(SettingsStore::GetText("Ver", "Manifest", std::nullopt, path), "Default");
    EXPECT_EQ(SettingsStore::GetText("Ver", "Manifest", "", path), "");
    EXPECT_EQ(SettingsStore::GetInt("camera", "camerabright1", 0, path), 100);
    EXPECT_EQ(SettingsStore::GetInt("Camera", "CameraBright2", 100, path), 100);

    ASSERT_TRUE(SettingsStore::PutInt("Camera", "CameraBright1", -12, path));
    ASSERT_TRUE(SettingsStore::PutText("Time", "TimeFormat", "\"2024/1/5\"", path));
    EXPECT_EQ(SettingsStore::GetText("Time", "TimeFormat", std::nullopt, path), "2024/1/5");
    ASSERT_TRUE(SettingsStore::PutText("Camera", "CameraHue1", std::nullopt, path));
    EXPECT_EQ(ReadFile(path),
              "[Ver]\nVersion=\"1.0.0\"\n[Camera]\nCameraBright1=-12\n[Time]\nTimeFormat=\"2024/1/5\"\n");
    ASSERT_TRUE(SettingsStore::PutText("Ver", std::nullopt, std::nullopt, path));
    EXPECT_EQ(ReadFile(path), "[Camera]\nCameraBright1=-12\n[Time]\nTimeFormat=\"2024/1/5\"\n");

    ASSERT_TRUE(SettingsStore::PutText("Sensor", "RedWire", std::string(300, 'w'), path));
    EXPECT_EQ(SettingsStore::GetText("Sensor", "RedWire", std::nullopt, path), std::string(279, 'w'));
}

} // namespace
