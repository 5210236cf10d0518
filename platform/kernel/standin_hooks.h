// Where tests reach into the stand-ins: each stand-in asks its fault hook at the calls a test may make
// fail, tells its query hook before it answers a status query, hands its calls to the record hook and
// tells the object hook of each object of its own made or freed. The test-support library
// (testsupport/) fills the table; a program that does not link it gets the defaults, under which every
// call goes through.
#pragma once
#include <cstdint>

enum StandInModule {
    STAND_IN_DDRAW,
    STAND_IN_D3D,
    STAND_IN_DSOUND,
    STAND_IN_DSHOW,
    STAND_IN_ACM,
    STAND_IN_MCI,
    STAND_IN_WINDOW,
    STAND_IN_WINSOCK,
    STAND_IN_MODULE_COUNT
};

struct StandInHooks {
    // The result injected into this call of the kind, or 0 when it goes through. arg narrows some
    // kinds (a texture stage, a buffer's flags).
    int32_t (*Fault)(int kind, int64_t arg);
    // Runs before the stand-in answers a status query of the kind.
    void (*Query)(int kind);
    // Keeps one call the stand-in made (its own entry record).
    void (*Record)(const void *entry);
    // An object of the kind (the stand-in's own numbering) made (delta 1) or freed (-1).
    void (*CountObject)(int kind, int delta);
};

// Installs the module's table (null: the defaults); null entries get the defaults.
void StandInSetHooks(StandInModule module, const StandInHooks *hooks);
// Calls through the module's table.
int32_t StandInFault(StandInModule module, int kind, int64_t arg);
void StandInQuery(StandInModule module, int kind);
void StandInRecord(StandInModule module, const void *entry);
void StandInCountObject(StandInModule module, int kind, int delta);
