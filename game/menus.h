// The menus between stages: a state machine over the game state's screen id, driven by all four pads
// together; the options with the settings save, the key configuration, the stage selection, the stage
// information screen and the stage card.
#pragma once

#define MENU_FRAME_SLEEP_MS 34

// Runs menu frames until a start is chosen (players in play on screens 1, 2, 1001, 1002), the quit
// flag is set or the pump reports the end; then sets the stage up (start, field, player objects, the
// card in normal mode, the stage music, 200 s) and returns. 0.
int RunMenuLoop(void);
// One menu frame of the current screen: its music, erase, draw, cursor moves, present, 34 ms. 0.
int RunMenuFrame(int items);
// Draws the current screen (title call once per pending flag; the round result puts the battle
// players back in play and turns into the victory screen at two wins). 0.
int DrawMenuScreen(void);
// Players 1..4 in turn: up, down, select (or the key assignment), left and right, once per press. 0.
int MoveMenuCursor(int items);
// Acts on the row under the cursor of the current screen (with the selection sound). 0.
int ApplyMenuSelection(void);
// Left / right of every player on the stage line of the start screens. 0.
int ChangeSelectedStage(void);
// Gives mask to the action of the cursor row (1 bomb, 2 remote, 3 kick-stop, 4 pause) of player
// 1..4, swapping with the action that had it. 0.
int AssignActionButton(int mask, int player);
// Assigns every pressed button (16 ... 2048 and 8192; never 4096) of every player. 0.
int AssignPressedButtons(void);
// The stage information screen of the selected stage; waits for any key. 0.
int ShowStageInfo(void);
// The normal-mode stage card over the built field, without waiting. 0.
int ShowStageCard(void);
// Number of rows of a screen (0 for an unknown id).
int GetMenuItemCount(int screenId);
// The round winner: the first player (1..4) with lives left, 0 when nobody has lives.
int FindRoundWinner(void);
