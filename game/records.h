// The game's shared records: the one game state, the four players and the stage tables. Every part of
// the game reads and writes them directly through the global pointers below. They live in static
// storage from start-up to the end of the process, so nothing can fail to allocate them.
//
// Threads: the stage-clock thread reads and writes timeLeft, inStage, paused and soundEffectsOn while
// the main thread runs; those fields are atomics. Everything else belongs to the main thread.
#pragma once
#include <atomic>
#include <cstdint>

struct GameObjectRecord;  // a field object (pool, cell hash and behaviours live with the field code)

// ---- field and tables ----------------------------------------------------------------------------
#define FIELD_WIDTH 15                       // cells across
#define FIELD_HEIGHT 13                      // cells down
#define FIELD_CELLS (FIELD_WIDTH * FIELD_HEIGHT)
#define CELL_SIZE 32                         // pixels per cell side
#define STAGE_TABLE_ROWS 50                  // row r is stage r; rows 1..42 hold stages
#define STAGE_TABLE_SLOTS 9                  // enemy or item kinds per stage
#define STAGE_EMPTY_SLOT 100                 // a slot that holds no kind
#define LAST_STAGE 42                        // the final stage of normal mode
#define GAME_CLEAR_STAGE 43                  // the stage number once every stage is cleared
#define PLAYER_COUNT 4
#define STAGE_TIME_SECONDS 200               // the clock at every stage start

// Game state `mode`.
enum : int32_t { GAME_MODE_NONE = 0, GAME_MODE_NORMAL = 1, GAME_MODE_BATTLE = 3 };

// Game state `screenId`: the menu screen shown.
enum : int32_t {
    SCREEN_TITLE = 0,
    SCREEN_OPTIONS = -1,
    SCREEN_KEY_CONFIG = -2,
    SCREEN_NORMAL_START = 1,
    SCREEN_CONTINUE = 2,
    SCREEN_GAME_OVER = 3,
    SCREEN_GAME_CLEAR = 4,
    SCREEN_BACK_TO_TITLE = 5,
    SCREEN_BATTLE_START = 1001,
    SCREEN_ROUND_RESULT = 1002,
    SCREEN_VICTORY = 1004,
};

// Indices of PlayerRecord::latches. The bomb latch doubles as the menu select latch.
enum : int {
    LATCH_BOMB = 0,
    LATCH_REMOTE = 1,
    LATCH_KICK_STOP = 2,
    LATCH_PAUSE = 3,
    LATCH_MENU_UP = 4,
    LATCH_MENU_DOWN = 5,
    LATCH_MENU_LEFT = 6,
    LATCH_MENU_RIGHT = 7,
    LATCH_COUNT = 8,
};

// Pad bits as the game reads them (pad 1 merged with the keyboard).
enum : int32_t {
    GAME_PAD_DOWN = 1,
    GAME_PAD_LEFT = 2,
    GAME_PAD_RIGHT = 4,
    GAME_PAD_UP = 8,
    GAME_PAD_BUTTON1 = 16,                   // menu select ("Z")
};

// Default action buttons of every player.
#define DEFAULT_BOMB_BUTTON 16
#define DEFAULT_REMOTE_BUTTON 32
#define DEFAULT_KICK_STOP_BUTTON 64
#define DEFAULT_PAUSE_BUTTON 8192

// Directions shared by facing, slides, enemies and shots.
enum : int32_t { DIR_DOWN = 0, DIR_UP = 1, DIR_LEFT = 2, DIR_RIGHT = 3, DIR_NONE = 4 };
// One cell's step in each direction 0..3, by DIR_*.
inline constexpr int kDirStepX[4] = {0, 0, -1, 1};
inline constexpr int kDirStepY[4] = {1, -1, 0, 0};

// ---- records -------------------------------------------------------------------------------------
struct GameStateRecord {
    GameStateRecord *prev, *next;            // list links
    int32_t cellStates[FIELD_CELLS];         // index y * 15 + x; working states of the field build
    int32_t enemiesLeft;                     // enemies alive on the field
    int32_t coreMechsLeft;                   // core mechs still to destroy (HUD)
    int32_t textColor;                       // screen colour of menu / HUD texts (red / white)
    std::atomic<int32_t> timeLeft;           // stage clock, seconds; clock thread counts it down
    int32_t killMultiplier;                  // points multiplier of fire kills
    int32_t hiScore;                         // saved
    int32_t stage;                           // 1..42 in normal mode (43 = all cleared); 1 in battle
    int32_t frameCounter;                    // unpaused stage frames
    std::atomic<int32_t> inStage;            // 1 while a stage or round runs, 0 in the menus
    int32_t playersInPlay;                   // players taking part
    int32_t battlePlayers;                   // 2..4 chosen for battle mode
    int32_t musicOn;                         // 1 / 0; saved (non-zero counts as on)
    std::atomic<int32_t> soundEffectsOn;     // 1 / 0; saved; gates every effect and voice
    int32_t progress;                        // highest stage reached; saved as read, clamped where used
    std::atomic<int32_t> paused;             // 1 while a player holds the pause
    int32_t mode;                            // GAME_MODE_*
    int32_t screenId;                        // SCREEN_*
    int32_t quit;                            // 1 once Escape was pressed
    int32_t cursor;                          // menu cursor row, 0 at the top
    int32_t credits;                         // normal mode: spare lives shared by the players
    int32_t world;                           // (stage - 1) / 7, 0..5
    int32_t stageInWorld;                    // stage - world * 7, 1..7
    int32_t blockContentLevel;               // harder soft-block contents
    int32_t difficulty;                      // 0 normal, 1 hard; saved
    uint8_t darkness;                        // 1 while the field is dark
    uint8_t titleVoicePending;               // 1 until the title call has played
};

struct PlayerRecord {
    char name[16];                           // "Player"
    GameObjectRecord *ownObject;             // the player's "P" object on the field
    PlayerRecord *prev, *next;               // player list links
    int32_t number;                          // 1..4
    int32_t speed;                           // pixels per frame: 1 after creation, 2 after a reset
    int32_t cellX, cellY;                    // current cell; 1000 = not in the stage, 10000 = out
    int32_t pixelX, pixelY;                  // top-left corner on the field
    int32_t centreX, centreY;                // pixel + 16
    int32_t facing;                          // DIR_*
    int32_t moving;                          // 1 while a direction is held
    int32_t dx, dy;                          // last step, -1 / 0 / 1
    int32_t fireRange;                       // cells a blast reaches
    int32_t capacity;                        // bombs the player may have out
    int32_t bombsAvailable;                  // capacity minus bombs out
    int32_t score;                           // points; rounds won in battle mode
    int32_t lives;                           // 0 = out or waiting to join
    int32_t respawnCounter;                  // invincibility / dying animation counter
    int32_t inPlay;                          // 1 when taking part
    int32_t passFlags;                       // bit 0 soft blocks, bit 1 bombs
    int32_t bombType;                        // 0 normal, 1 remote, 2 pierce, 3 power, 4 danger
    int32_t fullFire;                        // 1: bombs reach 12 cells
    uint8_t lineBomb;                        // 1: may lay a line of bombs
    uint8_t kick;                            // 1: may kick bombs
    int32_t pausedByMe;                      // 1 while this player holds the pause
    int32_t spriteFrame;                     // player sheet frame chosen for this frame
    int32_t animCounter;                     // 0..39
    int32_t padBits;                         // input bits read this frame
    uint8_t latches[LATCH_COUNT];            // 1 while the guarded key is still held (LATCH_*)
    int32_t bombButton;                      // pad bit masks of the four actions; saved
    int32_t remoteButton;
    int32_t kickStopButton;
    int32_t pauseButton;
};

struct StageRecord {
    int32_t enemyKinds[STAGE_TABLE_ROWS][STAGE_TABLE_SLOTS];  // STAGE_EMPTY_SLOT when empty
    int32_t itemKinds[STAGE_TABLE_ROWS][STAGE_TABLE_SLOTS];
    StageRecord *prev, *next;                // list links
};

// ---- globals -------------------------------------------------------------------------------------
extern GameStateRecord *gGame;               // null before CreateGameState
extern PlayerRecord *gPlayers[PLAYER_COUNT]; // players 1..4 at [0..3]; null before CreatePlayerRecords
extern StageRecord *gStage;                  // null before CreateStageRecord
extern PlayerRecord *gPlayerListHead;        // first player (player 1); walk by next

// Player n (1..4); null for another n or before creation.
PlayerRecord *GetPlayer(int number);

// ---- creation and resets -------------------------------------------------------------------------
// Sets up the game state: links, stage 1, title voice pending 1, everything else 0. Always 0.
int CreateGameState(void);
// Sets up the four players with their creation values and default buttons. Always 0.
int CreatePlayerRecords(void);
// Sets up the stage record and fills its tables (FillStageTables). Always 0.
int CreateStageRecord(void);
// Releases the records (the pointers become null). Always 0.
int FreePlayerRecords(void);
int FreeGameState(void);
int FreeStageRecord(void);

// Puts the players back for mode 0 (new game), 1 (continue) or 2 (battle round); any other mode
// changes nothing. 0.
int ResetPlayersForMode(int mode);

// The stage-table row for a stage number, clamped into the table (rows 43.. are empty).
int ClampStageRow(int stage);
// The highest stage the normal-mode selection offers: the progress kept in 1..43.
int GetStageSelectionMax(void);
