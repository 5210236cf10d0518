// Live objects of the stand-ins, counted from their object hooks: each stand-in's support file keeps
// one table and answers its live-count view from it. Never reset, so a leak outlives the test that made it.
#pragma once
#include <atomic>

#define STAND_IN_MAX_OBJECT_KINDS 8

// Objects made minus freed, by kind, safe from any thread.
struct StandInLiveTable {
    std::atomic<int> live[STAND_IN_MAX_OBJECT_KINDS];
};

inline void StandInLiveAdd(StandInLiveTable *table, int kind, int delta)
{
    if ((unsigned)kind < STAND_IN_MAX_OBJECT_KINDS) table->live[kind] += delta;
}

inline int StandInLiveCount(const StandInLiveTable *table, int kind)
{
    return (unsigned)kind < STAND_IN_MAX_OBJECT_KINDS ? table->live[kind].load() : 0;
}
