// Fault injection shared by the sound stand-ins: a call kind fails on its Nth use from now, or always.
#pragma once

struct StandInFault {
    int countdown;  // > 0: the call that brings it to 0 fails; 0: off
    int always;     // 1: every call fails
};

// 1 when this call is to fail (and counts it down), 0 otherwise. The caller holds its module lock.
inline int StandInFaultHit(StandInFault *fault)
{
    if (fault->always)
        return 1;
    if (fault->countdown > 0 && --fault->countdown == 0)
        return 1;
    return 0;
}

// The nth call of the kind from now fails (1 = the next; 0 or less clears it). Module lock held.
inline void StandInFaultSetNth(StandInFault *fault, int nth) { fault->countdown = nth > 0 ? nth : 0; }
// Every call of the kind fails (on) or none does. Module lock held.
inline void StandInFaultSetAlways(StandInFault *fault, int on) { fault->always = on ? 1 : 0; }
