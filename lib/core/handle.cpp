// Handle tables: records by slot, handles that carry type and check so a stale one is refused.
#include "lib/core/handle.h"

#include "lib/core/log.h"
#include "lib/core/memory.h"

#define HANDLE_MAX_SLOTS 0x10000

int MakeHandle(const HandleTable *table, int slot, int check)
{
    return (((check & HANDLE_CHECK_MASK) | (table->type & HANDLE_TYPE_MASK)) << 16) | (slot & HANDLE_SLOT_MASK);
}

HandleRecordHead *LookupHandle(const HandleTable *table, int handle)
{
    if (!table || !table->records || handle < 0)
        return nullptr;
    int upper = handle >> 16;
    if ((upper & HANDLE_TYPE_MASK) != table->type)
        return nullptr;
    int slot = handle & HANDLE_SLOT_MASK;
    // The slot is tested against the table's size before the array is touched.
    if (slot >= table->size)
        return nullptr;
    HandleRecordHead *record = table->records[slot];
    if (!record || record->check != (upper & HANDLE_CHECK_MASK))
        return nullptr;
    return record;
}

int InitHandleTable(HandleTable *table, int type, int size)
{
    if (!table || size <= 0 || size > HANDLE_MAX_SLOTS || (type & ~HANDLE_TYPE_MASK) != 0)
        return -1;
    table->records = (HandleRecordHead **)AllocMemoryZeroed(sizeof(HandleRecordHead *) * (size_t)size, "", 0);
    if (!table->records)
        return WriteLog("ハンドルテーブルのメモリ確保に失敗しました in InitHandleTable\n");
    table->size = size;
    table->usedCount = 0;
    table->usedBound = 0;
    table->nextCheck = 0;
    table->type = type;
    return 0;
}

int TermHandleTable(HandleTable *table)
{
    if (!table)
        return 0;
    FreeMemoryTracked(table->records);
    table->records = nullptr;
    table->size = 0;
    table->usedCount = 0;
    table->usedBound = 0;
    return 0;
}

int AddHandleRecord(HandleTable *table, HandleRecordHead *record)
{
    if (!table || !table->records || !record)
        return -1;
    int slot = 0;
    while (slot < table->size && table->records[slot])
        slot++;
    if (slot == table->size)
        return WriteLogFormat("ハンドルテーブルが一杯です タイプ 0x%04x in AddHandleRecord", table->type);
    record->check = table->nextCheck;
    table->nextCheck = (table->nextCheck + 1) & HANDLE_CHECK_MASK;
    table->records[slot] = record;
    table->usedCount++;
    if (slot + 1 > table->usedBound)
        table->usedBound = slot + 1;
    return MakeHandle(table, slot, record->check);
}

HandleRecordHead *RemoveHandleRecord(HandleTable *table, int handle)
{
    HandleRecordHead *record = LookupHandle(table, handle);
    if (!record)
        return nullptr;
    int slot = HandleSlot(handle);
    table->records[slot] = nullptr;
    table->usedCount--;
    while (table->usedBound > 0 && !table->records[table->usedBound - 1])
        table->usedBound--;
    return record;
}
