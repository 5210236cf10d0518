// Fault injection shared by the stand-ins' test hooks: a call kind fails on its Nth use from now, or
// always. Each stand-in's support file keeps one table and answers the stand-in's fault hook from it.
#pragma once
#include <mutex>

#define STAND_IN_MAX_FAULT_KINDS 40

struct StandInFaultState {
    int countdown;  // > 0: the call that brings it to 0 fails; 0: off
    int always;     // 1: every call fails
};

// The faults of one stand-in, safe from any thread.
struct StandInFaultTable {
    std::mutex lock;
    StandInFaultState faults[STAND_IN_MAX_FAULT_KINDS];
};

// 1 when this call of the kind is to fail (and counts it down), 0 otherwise.
inline int StandInFaultHit(StandInFaultTable *table, int kind)
{
    if ((unsigned)kind >= STAND_IN_MAX_FAULT_KINDS) return 0;
    std::lock_guard<std::mutex> hold(table->lock);
    StandInFaultState *fault = &table->faults[kind];
    if (fault->always) return 1;
    if (fault->countdown > 0 && --fault->countdown == 0) return 1;
    return 0;
}

// The nth call of the kind from now fails (1 = the next; 0 or less clears it).
inline void StandInFaultSetNth(StandInFaultTable *table, int kind, int nth)
{
    if ((unsigned)kind >= STAND_IN_MAX_FAULT_KINDS) return;
    std::lock_guard<std::mutex> hold(table->lock);
    table->faults[kind].countdown = nth > 0 ? nth : 0;
}

// Every call of the kind fails (on) or none does.
inline void StandInFaultSetAlways(StandInFaultTable *table, int kind, int on)
{
    if ((unsigned)kind >= STAND_IN_MAX_FAULT_KINDS) return;
    std::lock_guard<std::mutex> hold(table->lock);
    table->faults[kind].always = on ? 1 : 0;
}

// Clears every fault of the table.
inline void StandInFaultClear(StandInFaultTable *table)
{
    std::lock_guard<std::mutex> hold(table->lock);
    for (StandInFaultState &fault : table->faults) fault = StandInFaultState{};
}
