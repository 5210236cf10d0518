// Names, paths, bad input, the replaceable table and the temporary disk file.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "lib/file/datafile.h"
#include "tests/file/file_fixture.h"

namespace {

const char *U8(const char8_t *text) { return reinterpret_cast<const char *>(text); }

// The whole content of a data file, read through the data-file calls.
std::string ReadWhole(intptr_t file)
{
    SeekDataFile(file, 0, 2);
    std::string bytes((size_t)TellDataFile(file), 0);
    SeekDataFile(file, 0, 0);
    ReadDataFile(bytes.data(), bytes.size(), 1, file);
    return bytes;
}

TEST_F(FileTest, MixedCaseAssetPathIsFoundThroughBackslash)
{
    ASSERT_EQ(mkdir("png", 0755), 0);
    WriteDiskFile("png/player.PNG", "sheet");
    for (const char *name : {"png\\Player.png", "PNG\\PLAYER.png", "png/player.PNG", ".\\png\\\\Player.Png"}) {
        SCOPED_TRACE(name);
        intptr_t file = OpenDataFile(name, 0, 1, 0);
        ASSERT_NE(file, 0);
        EXPECT_EQ(ReadWhole(file), "sheet");
        CloseDataFile(file);
    }
    // An exact match wins over one that differs only in case.
    WriteDiskFile("png/Player.png", "exact");
    intptr_t file = OpenDataFile("png\\Player.png", 0, 1, 0);
    EXPECT_EQ(ReadWhole(file), "exact");
    CloseDataFile(file);
}

TEST_F(FileTest, ShiftJisTrailByte5CIsNotASeparator)
{
    const char *name = "ソフト\\表.txt";   // ソ and 表 both end in 0x5C
    ASSERT_EQ((unsigned char)name[1], 0x5C);
    ASSERT_EQ(mkdir(U8(u8"ソフト"), 0755), 0);
    WriteDiskFile(U8(u8"ソフト/表.txt"), "hyou");
    intptr_t file = OpenDataFile(name, 0, 1, 0);
    ASSERT_NE(file, 0);
    EXPECT_EQ(ReadWhole(file), "hyou");
    CloseDataFile(file);
}

TEST_F(FileTest, BadNamesGiveZeroAndALogLine)
{
    ASSERT_EQ(mkdir("dir", 0755), 0);
    ASSERT_EQ(mkfifo("pipe", 0644), 0);   // opening it for reading would block forever
    std::string longName(300, 'a');
    std::string longest(K_MAX_PATH - 1, 'b');   // fits, names nothing
    struct Case { const char *name, *logged; };
    for (Case c : {Case{"missing.bin", "missing.bin"}, Case{"dir", "dir"}, Case{"pipe", "pipe"},
                   Case{longName.c_str(), "in OpenDataFile"}, Case{longest.c_str(), "in OpenDataFile"},
                   Case{"bad\x81", "in OpenDataFile"}}) {
        SCOPED_TRACE(c.name);
        size_t before = LogText().size();
        EXPECT_EQ(OpenDataFile(c.name, 1, 1, 1), 0);
        EXPECT_NE(LogText().find(c.logged, before), std::string::npos);
    }
    EXPECT_EQ(OpenDataFile(nullptr, 0, 1, 0), 0);
}

TEST_F(FileTest, UnreadableFileGivesZeroAndALogLine)
{
    WriteDiskFile("secret.bin", "x");
    ASSERT_EQ(chmod("secret.bin", 0), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(OpenDataFile("secret.bin", 0, 1, 0), 0);
        EXPECT_TRUE(LogHas("secret.bin"));
        return;
    }
    // Root reads anything: try as "nobody" in a child process.
    ASSERT_EQ(chmod(GetFreshTempDir(), 0777), 0);
    ASSERT_EQ(chmod("Log.txt", 0666), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(OpenDataFile("secret.bin", 0, 1, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(LogHas("secret.bin"));
}

TEST_F(FileTest, DirectoriesAndListingsThroughTheTable)
{
    ASSERT_EQ(mkdir("png", 0755), 0);
    WriteDiskFile("png/Player.png", "12345");
    WriteDiskFile("png/enemy.PNG", "12");
    WriteDiskFile("png/readme.txt", "");
    const FileFunctionTable *t = GetFileFunctionTable();
    FileFindRecord rec;
    std::set<std::string> names;
    intptr_t find = t->findFirst("PNG\\*.png", &rec);
    ASSERT_NE(find, -1);
    do {
        names.insert(rec.name);
        EXPECT_EQ(rec.directory, 0);
        EXPECT_EQ(rec.size, rec.name[0] == 'P' ? 5 : 2);
    } while (t->findNext(find, &rec) == 0);
    EXPECT_EQ(names, (std::set<std::string>{"Player.png", "enemy.PNG"}));
    EXPECT_EQ(t->findClose(find), 0);
    EXPECT_EQ(t->findClose(find), -1);
    EXPECT_EQ(t->findFirst("png\\*.bmp", &rec), -1);
    WriteDiskFile("png/LICENSE", "");
    int all = 0;
    find = t->findFirst("png\\*.*", &rec);   // dotless names too
    for (int more = find != -1 ? 0 : -1; more == 0; more = t->findNext(find, &rec))
        all++;
    EXPECT_EQ(all, 4);
    t->findClose(find);

    char dir[K_MAX_PATH];
    ASSERT_EQ(t->changeDirectory("Png"), 0);
    ASSERT_EQ(t->getDirectory(dir, sizeof dir), 0);
    EXPECT_EQ(std::string(dir).substr(strlen(dir) - 4), "/png");
    EXPECT_EQ(t->getDirectory(dir, 3), -1);
    EXPECT_EQ(t->changeDirectory("nowhere"), -1);
    intptr_t file = OpenDataFile("PLAYER.PNG", 0, 1, 0);   // relative to the new directory
    EXPECT_NE(file, 0);
    CloseDataFile(file);
}

// A stand-in table: every data-file call must come through it.
int g_calls;
intptr_t FakeOpen(const char *, int, int, int) { g_calls++; return 42; }
size_t FakeRead(void *buffer, size_t size, size_t count, intptr_t file)
{
    g_calls++;
    memset(buffer, 'z', size * count);
    return file == 42 ? count : 0;
}

TEST_F(FileTest, ReplacedTableServesEveryDataRead)
{
    FileFunctionTable fake = {};
    fake.open = FakeOpen;
    fake.read = FakeRead;
    ASSERT_EQ(SetFileFunctionTable(&fake), 0);
    g_calls = 0;
    intptr_t file = OpenDataFile("anything", 0, 1, 0);
    EXPECT_EQ(file, 42);
    char buf[3];
    EXPECT_EQ(ReadDataFile(buf, 1, 3, file), 3u);
    EXPECT_EQ(buf[2], 'z');
    EXPECT_EQ(g_calls, 2);
    // Operations the table leaves out fail and say so.
    EXPECT_EQ(CloseDataFile(file), -1);
    EXPECT_EQ(GetFileFunctionTable()->findFirst("*", nullptr), -1);
    EXPECT_TRUE(LogHas("close"));
    SetFileFunctionTable(nullptr);
    EXPECT_EQ(GetFileFunctionTable(), GetDiskFileFunctionTable());
}

TEST_F(FileTest, TempDiskFileIsNewEmptyAndOurs)
{
    ASSERT_EQ(mkdir("tmpdir", 0755), 0);
    std::string dir = std::string(GetFreshTempDir()) + "/tmpdir";
    const char *old = getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", dir.c_str(), 1);
    char path[K_MAX_PATH];
    KHandle file = CreateTempDiskFile(path);
    KHandle second = CreateTempDiskFile(nullptr);
    std::string made = path;
    // A directory that does not exist: 0, not the invalid handle.
    setenv("TMPDIR", (dir + "/missing").c_str(), 1);
    KHandle none = CreateTempDiskFile(path);
    if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");

    ASSERT_NE(file, 0);
    ASSERT_NE(file, K_INVALID_HANDLE);
    EXPECT_EQ(made.rfind(dir + "/tmp", 0), 0u);
    struct stat st;
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    uint32_t done = 0;
    EXPECT_EQ(KWriteFile(file, "midi", 4, &done), 1);
    EXPECT_EQ(done, 4u);
    KCloseHandle(file);
    ASSERT_NE(second, 0);
    ASSERT_NE(second, K_INVALID_HANDLE);
    KCloseHandle(second);
    EXPECT_EQ(none, 0);
    EXPECT_TRUE(LogHas("in CreateTempDiskFile"));
}

}  // namespace
