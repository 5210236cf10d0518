// Fire and hits: a fire object spreads once, on its first working frame, into the next cell of its
// direction (all four for a centre fire), passing on range, pierce, danger and owner, then burns out;
// ApplyObjectHits is the one rule by which fire and two kinds of shots damage what they cover.
#pragma once
#include "game/objects.h"

#define FIRE_LIFE 32
#define HIT_TIMER_FIRE 80                    // a fire's hit that leaves hit points
#define HIT_TIMER_FIRE_SHOT 160              // a fire shot's hit that leaves hit points
#define HIT_TIMER_FATAL 40                   // breaking or dying time
#define HIT_TIMER_SWITCH 80
#define HIT_SPAWN_PROTECTION 128             // enemies made by hits

// Answers of ProbeFireCell.
enum : int { FIRE_GO_ON = 0, FIRE_PLACE_AND_STOP = 1, FIRE_BLOCKED = 2 };

// The fire branch of StepBombAndFire: spread on the first main frame, then burn down the life.
void StepFire(GameObjectRecord *fire);
// What the blast finds at (x, y) (the fire's probe step set): 0 go on, 1 place a fire and stop,
// 2 blocked (a fixed block, or a cell outside the field).
int ProbeFireCell(GameObjectRecord *fire, int x, int y);
// The hit rules for the object S: every active fire / shot / bomb whose box holds S's centre in the
// 3 x 3 cells round it acts on S. An object in the outer ring of cells gets no hits.
void ApplyObjectHits(GameObjectRecord *s);
