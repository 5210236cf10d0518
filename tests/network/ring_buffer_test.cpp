// The ring buffer: the growth and wrap cases, a model test against std::deque, and a refused growth
// that keeps what was stored.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/ring_buffer.h"
#include "tests/support/test_temp_dir.h"

namespace {

// A ring holding bytes 0, 1, 2, ... laid out with the given positions (storage of size bytes).
RingBuffer MakeRing(int size, int readPos, int dataSize)
{
    RingBuffer ring{};
    EXPECT_EQ(ReserveRingBuffer(&ring, size - RING_BUFFER_SLACK), 0);
    ring.readPos = readPos;
    ring.dataSize = dataSize;
    ring.writePos = (readPos + dataSize) % size;
    for (int i = 0; i < dataSize; i++) ring.data[(readPos + i) % size] = (uint8_t)i;
    return ring;
}

TEST(RingBuffer, GrowthAndWrapCases)
{
    RingBuffer ring{};
    uint8_t bytes[2000];
    for (int i = 0; i < 2000; i++) bytes[i] = (uint8_t)i;
    ASSERT_EQ(AppendRingBuffer(&ring, bytes, 10), 0);
    EXPECT_EQ(ring.bufferSize, 1010);
    EXPECT_EQ(ring.readPos, 0);
    EXPECT_EQ(ring.writePos, 10);
    EXPECT_EQ(ring.dataSize, 10);
    ASSERT_EQ(AppendRingBuffer(&ring, bytes, 1000), 0);  // exactly full
    EXPECT_EQ(ring.writePos, 1010);                       // wrapped only by the next operation
    EXPECT_EQ(ReserveRingBuffer(&ring, 0), 0);
    EXPECT_EQ(ring.bufferSize, 1010);
    EXPECT_EQ(ring.writePos, 0);
    EXPECT_EQ(ReserveRingBuffer(&ring, 1), 0);
    EXPECT_EQ(ring.bufferSize, 2020);  // doubled: need + 1000 would be 2011
    FreeRingBuffer(&ring);
    EXPECT_EQ(ring.data, nullptr);
    EXPECT_EQ(ring.bufferSize, 0);
}

TEST(RingBuffer, ReadToTheEndWrapsLazilyAndWrappedReadsKeepOrder)
{
    RingBuffer ring = MakeRing(1010, 1000, 10);
    uint8_t out[300];
    ASSERT_EQ(ReadRingBuffer(&ring, out, 10, 0), 0);
    EXPECT_EQ(ring.readPos, 1010);
    EXPECT_EQ(ReadRingBuffer(&ring, out, 1, 0), -1);
    EXPECT_EQ(ring.readPos, 1010);  // a refused read applies no wrap
    EXPECT_EQ(ReadRingBuffer(&ring, out, 0, 0), 0);
    EXPECT_EQ(ring.readPos, 0);
    FreeRingBuffer(&ring);

    ring = MakeRing(1010, 900, 300);  // 110 at the tail, 190 at the head
    ASSERT_EQ(ReadRingBuffer(&ring, out, 300, 1), 0);
    for (int i = 0; i < 300; i++) ASSERT_EQ(out[i], (uint8_t)i);
    EXPECT_EQ(ring.dataSize, 300);
    ASSERT_EQ(ReserveRingBuffer(&ring, 1000), 0);
    EXPECT_EQ(ring.bufferSize, 2300);
    EXPECT_EQ(ring.readPos, 0);
    EXPECT_EQ(ring.writePos, 300);
    for (int i = 0; i < 300; i++) ASSERT_EQ(ring.data[i], (uint8_t)i);
    FreeRingBuffer(&ring);
}

// Extending moves no stored byte: a wrapped ring keeps its storage to be read first and takes new
// bytes into new storage; one that does not wrap is resized with its positions kept.
TEST(RingBuffer, ExtendingKeepsTheStoredBytesWhereTheyAre)
{
    struct Case { int readPos, dataSize, bufferSize, readFrom; };
    for (const Case &c : {Case{900, 300, 2020, 0}, Case{100, 500, 2500, 100}}) {
        RingBuffer ring = MakeRing(1010, c.readPos, c.dataSize);
        uint8_t *storage = ring.data;
        ASSERT_EQ(ExtendRingBuffer(&ring, 1000), 0);
        EXPECT_EQ(ring.oldData, c.readFrom == 0 ? storage : nullptr);
        EXPECT_EQ(std::make_pair(ring.bufferSize, ring.readPos), std::make_pair(c.bufferSize, c.readFrom));
        EXPECT_EQ(ring.writePos - ring.readPos, c.readFrom == 0 ? 0 : c.dataSize);
        uint8_t in[1000], out[1500];
        for (int i = 0; i < 1000; i++) in[i] = (uint8_t)(c.dataSize + i);
        ASSERT_EQ(AppendRingBuffer(&ring, in, 1000), 0);
        EXPECT_EQ(ring.bufferSize, c.bufferSize);  // room was made for the 1000 bytes
        ASSERT_EQ(ReadRingBuffer(&ring, out, c.dataSize + 1000, 0), 0);
        for (int i = 0; i < c.dataSize + 1000; i++) ASSERT_EQ(out[i], (uint8_t)i);
        EXPECT_EQ(ring.oldData, nullptr);
        FreeRingBuffer(&ring);
    }
}

TEST(RingBuffer, MatchesADequeUnderRandomUse)
{
    std::mt19937 random(12345);
    RingBuffer ring{};
    std::deque<uint8_t> model;
    std::vector<uint8_t> in(5000), out(5000);
    uint8_t next = 0;
    for (int step = 0; step < 20000; step++) {
        int n = (int)(random() % 3000);
        switch (random() % 4) {
        case 0:
            for (int i = 0; i < n; i++) in[i] = next++;
            ASSERT_EQ(AppendRingBuffer(&ring, in.data(), n), 0);
            model.insert(model.end(), in.begin(), in.begin() + n);
            break;
        case 1:
        case 2: {
            int peek = (int)(random() % 2);
            int expected = n <= (int)model.size() ? 0 : -1;
            ASSERT_EQ(ReadRingBuffer(&ring, out.data(), n, peek), expected);
            if (expected < 0) break;
            for (int i = 0; i < n; i++) ASSERT_EQ(out[i], model[i]);
            if (!peek) model.erase(model.begin(), model.begin() + n);
            break;
        }
        default:
            ASSERT_EQ(random() % 2 ? ReserveRingBuffer(&ring, n) : ExtendRingBuffer(&ring, n), 0);
            ASSERT_GE(ring.bufferSize - (ring.dataSize - ring.oldDataSize), n);
        }
        ASSERT_EQ(ring.dataSize, (int)model.size());
    }
    FreeRingBuffer(&ring);
}

TEST(RingBuffer, RefusedGrowthKeepsTheStoredBytesAndLogsBothLines)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    ASSERT_EQ(OpenLogFile(GetFreshTempDir()), 0);
    RingBuffer ring = MakeRing(1010, 1000, 20);
    uint8_t more[2000] = {};
    for (int extend = 0; extend < 2; extend++) {
        SetTrackedAllocFailure(1);
        EXPECT_EQ(extend ? ExtendRingBuffer(&ring, 2000) : AppendRingBuffer(&ring, more, 2000), -1);
    }
    SetTrackedAllocFailure(0);
    // Unlike a ring emptied on failure, the 20 bytes already accepted stay in order.
    EXPECT_EQ(ring.bufferSize, 1010);
    ASSERT_EQ(ring.dataSize, 20);
    uint8_t out[20];
    ASSERT_EQ(ReadRingBuffer(&ring, out, 20, 0), 0);
    for (int i = 0; i < 20; i++) EXPECT_EQ(out[i], i);
    // Sizes that do not fit 32 bits are refused before any allocation.
    EXPECT_EQ(ReserveRingBuffer(&ring, INT32_MAX), -1);
    // Nor may an older storage's bytes and the new ones together (its 2 GiB stood in for by its counts).
    ring.oldData = (uint8_t *)AllocMemoryTracked(1, "", 0);
    ring.oldDataSize = ring.oldBufferSize = ring.dataSize = INT32_MAX - 1000;
    EXPECT_EQ(ExtendRingBuffer(&ring, 2000), -1);
    EXPECT_EQ(ring.bufferSize, 1010);
    FreeRingBuffer(&ring);
    CloseLogFile();
    std::string log = ReadTestFile("Log.txt");
    EXPECT_NE(log.find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 3020 byte)"), std::string::npos);
    EXPECT_NE(log.find("リングバッファへのデータの追加に失敗しました(追加する長さ 2000 byte)"), std::string::npos);
    LeaveFreshTempDir();
}

}  // namespace
