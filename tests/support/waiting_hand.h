// A user's hand for the library's "wait for any key", moved by the waiter's own sleeps on the stepped
// clock rather than by real time: a key held at the start is let go at the waiter's releaseAt-th
// sleep, and the press comes at the first sleep after which the waiter has seen nothing down. So the
// wait always sees the release and the press apart, however slow the machine.
#pragma once
#include <cstdint>

// Needs the stepped clock installed. release: a DirectInput key to let go (0: none); press: the key
// to press. Only sleeps of the calling thread count.
void ArmWaitingHand(int release, uint64_t releaseAt, int press);
// 0 armed, 1 let go, 2 pressed.
int GetWaitingHandStep(void);
// Takes the hand off the clock and lets go of the pressed key (events still to be pumped).
void DisarmWaitingHand(void);
