// Handle tables: layout of a handle and every way a handle can be refused.
#include "lib/core/handle.h"
#include "lib/core/memory.h"

#include <gtest/gtest.h>

namespace {

struct TestRecord {
    HandleRecordHead head;
    int payload;
};

class Handles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InitHandleTable(&table, HANDLE_TYPE_SOUND, 4), 0); }
    void TearDown() override { TermHandleTable(&table); }
    HandleTable table = {};
    TestRecord records[6] = {};
};

}  // namespace

TEST_F(Handles, LayoutOfAHandle)
{
    table.nextCheck = 5;
    AddHandleRecord(&table, &records[0].head);
    int h = AddHandleRecord(&table, &records[1].head);
    EXPECT_EQ(h, ((6 | 0x1000) << 16) | 1);
    EXPECT_EQ(records[1].head.check, 6);
    EXPECT_GE(h, 0);
    EXPECT_EQ(LookupHandle(&table, h), &records[1].head);
    EXPECT_EQ(table.usedCount, 2);
    EXPECT_EQ(table.usedBound, 2);
}

TEST_F(Handles, StaleWrongTypeAndOutOfRangeAreRefused)
{
    int h = AddHandleRecord(&table, &records[0].head);
    ASSERT_EQ(RemoveHandleRecord(&table, h), &records[0].head);
    int again = AddHandleRecord(&table, &records[1].head);  // same slot, new check
    EXPECT_EQ(HandleSlot(again), HandleSlot(h));
    EXPECT_EQ(LookupHandle(&table, h), nullptr);
    EXPECT_EQ(RemoveHandleRecord(&table, h), nullptr);
    EXPECT_EQ(LookupHandle(&table, again), &records[1].head);

    int otherType = (again & ~(HANDLE_TYPE_MASK << 16)) | (HANDLE_TYPE_GRAPH << 16);
    EXPECT_EQ(LookupHandle(&table, otherType), nullptr);
    EXPECT_EQ(LookupHandle(&table, again | (int)0x80000000), nullptr);  // negative
    EXPECT_EQ(LookupHandle(&table, -1), nullptr);
    EXPECT_EQ(LookupHandle(&table, MakeHandle(&table, 4, records[1].head.check)), nullptr);
    EXPECT_EQ(LookupHandle(&table, MakeHandle(&table, 0xFFFF, 0)), nullptr);
    EXPECT_EQ(LookupHandle(&table, MakeHandle(&table, 2, 0)), nullptr);  // empty slot
    HandleTable none = {};
    EXPECT_EQ(LookupHandle(&none, again), nullptr);
}

TEST_F(Handles, FullTableAndCheckWrap)
{
    table.nextCheck = 2047;
    int handles[4];
    for (int i = 0; i < 4; i++)
        handles[i] = AddHandleRecord(&table, &records[i].head);
    EXPECT_EQ(records[0].head.check, 2047);
    EXPECT_EQ(records[1].head.check, 0);  // the counter wraps after 2047
    EXPECT_EQ(AddHandleRecord(&table, &records[4].head), -1);
    RemoveHandleRecord(&table, handles[3]);
    EXPECT_EQ(table.usedBound, 3);
    RemoveHandleRecord(&table, handles[1]);
    EXPECT_EQ(table.usedBound, 3);
    RemoveHandleRecord(&table, handles[2]);
    EXPECT_EQ(table.usedBound, 1);
    EXPECT_EQ(table.usedCount, 1);
    int reused = AddHandleRecord(&table, &records[5].head);
    EXPECT_EQ(HandleSlot(reused), 1);  // first free slot
    EXPECT_EQ(InitHandleTable(&table, HANDLE_TYPE_SOUND, 0x10001), -1);
}
