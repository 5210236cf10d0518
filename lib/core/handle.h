// Handles: bit 31 clear, type in bits 27-30, an 11-bit check in bits 16-26, slot in bits 0-15.
#pragma once
#include <cstdint>

enum HandleType : int {
    HANDLE_TYPE_GRAPH = 0x0800,
    HANDLE_TYPE_SOUND = 0x1000,
    HANDLE_TYPE_MOVIE = 0x1800,
    HANDLE_TYPE_FONT = 0x2000,
    HANDLE_TYPE_SURFACE2D = 0x2800,
    HANDLE_TYPE_SURFACE3D = 0x3000,
    HANDLE_TYPE_SURFACEDATA = 0x3800,
    HANDLE_TYPE_NETWORK = 0x4800,
    HANDLE_TYPE_MUSIC = 0x5800,
};

#define HANDLE_CHECK_MASK 0x07FF
#define HANDLE_TYPE_MASK 0x7800
#define HANDLE_SLOT_MASK 0xFFFF

// Every record behind a handle begins with its check value.
struct HandleRecordHead {
    int check;
};

// The table a module keeps its records in. Fields are plain: some modules walk slots themselves.
struct HandleTable {
    HandleRecordHead **records;  // by slot, null when free
    int size;                    // slots
    int usedCount;               // occupied slots
    int usedBound;               // one more than the highest occupied slot
    int nextCheck;               // 0..2047, wraps
    int type;                    // HandleType
};

// Makes the handle of slot with check for the table's type.
int MakeHandle(const HandleTable *table, int slot, int check);
// The record behind handle, or null: type, slot range, occupancy and check are all tested.
HandleRecordHead *LookupHandle(const HandleTable *table, int handle);
// Slot of a handle without checks (callers that already validated it).
inline int HandleSlot(int handle) { return handle & HANDLE_SLOT_MASK; }

// Sets up a table of size slots (records array allocated, tracked). 0 / -1.
int InitHandleTable(HandleTable *table, int type, int size);
// Frees the slot array (records must already be gone). 0.
int TermHandleTable(HandleTable *table);
// Puts record into the first free slot, stamps its check, returns the handle; -1 when full (logged).
int AddHandleRecord(HandleTable *table, HandleRecordHead *record);
// Empties the handle's slot; returns the record that was there or null when the handle is invalid.
HandleRecordHead *RemoveHandleRecord(HandleTable *table, int handle);
