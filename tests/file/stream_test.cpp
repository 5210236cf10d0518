// A disk file and a memory block read through their StreamRecords give the same answers, with
// and without read-ahead and asynchronous reading.
#include <random>
#include <vector>

#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/file/stream.h"
#include "tests/file/file_fixture.h"

namespace {

// Larger than three read-ahead blocks, not a multiple of anything.
const size_t kDataSize = 3 * 65536 + 4321;

std::string MakeData()
{
    std::mt19937 rng(7);
    std::string data(kDataSize, 0);
    for (char &c : data)
        c = (char)rng();
    return data;
}

StreamRecord FileStream(intptr_t file) { return StreamRecord{*GetFileStreamFunctions(), file}; }
StreamRecord MemStream(MemoryStream *m) { return StreamRecord{*GetMemoryStreamFunctions(), (intptr_t)m}; }

// The cases that matter at the edges, on one stream of the test data.
void CheckEdges(const StreamRecord &s, const std::string &data)
{
    std::vector<char> buf(kDataSize + 16);
    EXPECT_EQ(s.functions.eof(s.data), 0);
    EXPECT_EQ(s.functions.seek(s.data, 0, 2), 0);
    EXPECT_EQ(s.functions.tell(s.data), (int64_t)kDataSize);
    EXPECT_NE(s.functions.eof(s.data), 0);
    EXPECT_EQ(s.functions.read(buf.data(), 1, 1, s.data), 0u);
    // A partly read element is not counted, but its bytes are read.
    EXPECT_EQ(s.functions.seek(s.data, -10, 2), 0);
    EXPECT_EQ(s.functions.read(buf.data(), 4, 3, s.data), 2u);
    EXPECT_EQ(std::string(buf.data(), 10), data.substr(kDataSize - 10));
    EXPECT_EQ(s.functions.tell(s.data), (int64_t)kDataSize);
    // Before the start fails and moves nothing; past the end is a place where nothing is read.
    EXPECT_EQ(s.functions.seek(s.data, -1, 0), -1);
    EXPECT_EQ(s.functions.seek(s.data, 5, 7), -1);
    EXPECT_EQ(s.functions.tell(s.data), (int64_t)kDataSize);
    EXPECT_EQ(s.functions.seek(s.data, 100, 1), 0);
    EXPECT_EQ(s.functions.tell(s.data), (int64_t)kDataSize + 100);
    EXPECT_EQ(s.functions.read(buf.data(), 1, 8, s.data), 0u);
    EXPECT_NE(s.functions.eof(s.data), 0);
    // Back to the start: the whole block in one read.
    EXPECT_EQ(s.functions.seek(s.data, 0, 0), 0);
    EXPECT_EQ(s.functions.eof(s.data), 0);
    EXPECT_EQ(s.functions.read(buf.data(), kDataSize, 1, s.data), 1u);
    EXPECT_EQ(std::string(buf.data(), kDataSize), data);
    EXPECT_NE(s.functions.eof(s.data), 0);
    EXPECT_EQ(s.functions.read(buf.data(), 0, 5, s.data), 0u);
    EXPECT_EQ(s.functions.read(nullptr, 1, 1, s.data), 0u);
}

// Random reads and seeks on both streams; every answer and every byte must agree.
void CheckSameAsMemory(const StreamRecord &f, const StreamRecord &m, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<char> a(70000), b(70000);
    for (int step = 0; step < 400; step++) {
        SCOPED_TRACE(step);
        if (rng() % 10 == 0) {
            int origin = rng() % 3;
            int64_t offset = (int64_t)(rng() % (kDataSize + 2000)) - (origin == 0 ? 0 : (int64_t)kDataSize);
            ASSERT_EQ(f.functions.seek(f.data, offset, origin), m.functions.seek(m.data, offset, origin));
        } else {
            // Mostly runs of reads that cross block ends, now and then one larger than a block.
            size_t size = 1 + rng() % 7, count = rng() % (rng() % 8 == 0 ? 70000 / size : 2000);
            size_t gotF = f.functions.read(a.data(), size, count, f.data);
            ASSERT_EQ(gotF, m.functions.read(b.data(), size, count, m.data));
            ASSERT_EQ(0, memcmp(a.data(), b.data(), gotF * size));
        }
        ASSERT_EQ(f.functions.tell(f.data), m.functions.tell(m.data));
        ASSERT_EQ(f.functions.eof(f.data) != 0, m.functions.eof(m.data) != 0);
        ASSERT_GE(f.functions.idleCheck(f.data), 0);
    }
}

class StreamTest : public FileTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(StreamTest, FileReadsLikeMemory)
{
    std::string data = MakeData();
    WriteDiskFile("data.bin", data);
    auto [readAhead, async] = GetParam();
    for (int pass = 0; pass < 2; pass++) {
        intptr_t file = OpenDataFile("data.bin", readAhead, 1, async);
        ASSERT_NE(file, 0);
        MemoryStream *mem = OpenMemoryStream(data.data(), data.size());
        ASSERT_NE(mem, nullptr);
        StreamRecord f = FileStream(file), m = MemStream(mem);
        if (pass == 0) {
            {
                SCOPED_TRACE("file");
                CheckEdges(f, data);
            }
            SCOPED_TRACE("memory");
            CheckEdges(m, data);
        } else {
            CheckSameAsMemory(f, m, 11 + readAhead * 2 + async);
        }
        EXPECT_EQ(f.functions.close(f.data), 0);
        EXPECT_EQ(m.functions.close(m.data), 0);
    }
    EXPECT_EQ(data, MakeData());   // the memory stream never wrote to the caller's block
}

TEST_P(StreamTest, EmptyFileIsAtItsEnd)
{
    WriteDiskFile("empty.bin", "");
    auto [readAhead, async] = GetParam();
    intptr_t file = OpenDataFile("empty.bin", readAhead, 1, async);
    ASSERT_NE(file, 0);
    char c;
    EXPECT_EQ(EofDataFile(file), 1);
    EXPECT_EQ(ReadDataFile(&c, 1, 1, file), 0u);
    EXPECT_EQ(SeekDataFile(file, 0, 2), 0);
    EXPECT_EQ(TellDataFile(file), 0);
    EXPECT_EQ(CloseDataFile(file), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, StreamTest,
                         ::testing::Values(std::make_pair(0, 0), std::make_pair(1, 0), std::make_pair(0, 1),
                                           std::make_pair(1, 1)));

TEST_F(FileTest, MemoryStreamKeepsTheCallersBlock)
{
    int before = GetTrackedBlockCount();
    static const char bytes[4] = {1, 2, 3, 4};
    MemoryStream *s = OpenMemoryStream(bytes, sizeof bytes);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->data, (const uint8_t *)bytes);
    EXPECT_EQ(s->position, 0);
    EXPECT_EQ(s->endFlag, 0);
    EXPECT_EQ(GetTrackedBlockCount(), before + 1);
    EXPECT_EQ(CloseMemoryStream(s), 0);
    EXPECT_EQ(GetTrackedBlockCount(), before);
    EXPECT_EQ(CloseMemoryStream(nullptr), -1);
    EXPECT_TRUE(LogHas("in CloseMemoryStream"));
    // An empty block is at its end from the start.
    MemoryStream *empty = OpenMemoryStream(nullptr, 99);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size, 0u);
    EXPECT_EQ(GetMemoryStreamFunctions()->eof((intptr_t)empty), 1);
    CloseMemoryStream(empty);
}

TEST_F(FileTest, StaleAndForeignHandlesFailWithALogLine)
{
    WriteDiskFile("a.bin", "abc");
    intptr_t file = OpenDataFile("a.bin", 1, 1, 0);
    ASSERT_NE(file, 0);
    EXPECT_EQ(CloseDataFile(file), 0);
    char buf[4];
    EXPECT_EQ(CloseDataFile(file), -1);
    EXPECT_EQ(ReadDataFile(buf, 1, 1, file), 0u);
    EXPECT_EQ(TellDataFile(file), -1);
    EXPECT_EQ(SeekDataFile(file, 0, 0), -1);
    EXPECT_NE(EofDataFile(file), 0);   // a reader loop stops on it
    EXPECT_EQ(IdleCheckDataFile(12345), -1);
    EXPECT_EQ(ReadDataFile(buf, 1, 1, -7), 0u);
    EXPECT_TRUE(LogHas("in CloseDataFile"));
    EXPECT_TRUE(LogHas("in ReadDataFile"));
    // A reused slot gets a new check, so the old handle stays dead.
    intptr_t again = OpenDataFile("a.bin", 0, 1, 0);
    ASSERT_NE(again, 0);
    EXPECT_NE(again, file);
    EXPECT_EQ(ReadDataFile(buf, 1, 3, again), 3u);
    EXPECT_EQ(ReadDataFile(buf, SIZE_MAX / 2, 3, again), 0u);   // size * count overflows
    CloseDataFile(again);
}

}  // namespace
