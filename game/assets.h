// The game's sprite sheets, sound effects, voices and music: the tables of files, the handle arrays,
// the wrappers that honour the sound-effects setting, and the music of each world and mode.
#pragma once

// Frames per sheet (32 x 32 each, cut row by row).
#define PLAYER_SHEET_FRAMES 80
#define ENEMY_SHEET_FRAMES 2400
#define ITEM_SHEET_FRAMES 40
#define BLOCK_SHEET_FRAMES 50
#define SHOT_SHEET_FRAMES 40
#define BOMB_SHEET_FRAMES 40
#define FLOOR_SHEET_FRAMES 40
#define GAME_EFFECT_COUNT 16
#define GAME_VOICE_COUNT 32
#define GAME_SOUND_BUFFERS 3       // copies of one sound that may overlap

// Sheet handles; -1 where a picture could not be loaded.
extern int gPlayerSheet[PLAYER_SHEET_FRAMES];
extern int gEnemySheet[ENEMY_SHEET_FRAMES];
extern int gItemSheet[ITEM_SHEET_FRAMES];
extern int gBlockSheet[BLOCK_SHEET_FRAMES];
extern int gShotSheet[SHOT_SHEET_FRAMES];     // "Tama"
extern int gBombSheet[BOMB_SHEET_FRAMES];
extern int gFloorSheet[FLOOR_SHEET_FRAMES];   // "yuka"
// Sound handles; -1 where a sound could not be loaded.
extern int gEffectSounds[GAME_EFFECT_COUNT];
extern int gVoiceSounds[GAME_VOICE_COUNT];

// Effects and voices the frame, the clock and the menus play.
enum : int { EFFECT_STAGE_CARD = 10, EFFECT_MENU_SELECT = 11 };
enum : int { VOICE_TITLE_CALL = 21, VOICE_HURRY = 22 };
#define MENU_CURSOR_FRAME 3        // player sheet frame drawn as the menu cursor

// Music files.
#define MUSIC_TITLE "mid\\dancers7.mid"
#define MUSIC_OPTIONS "mid\\sunrise.mid"
#define MUSIC_FINAL_AND_BATTLE "mid\\dancers7.mid"
#define MUSIC_PLAY_LOOP 3
#define MUSIC_FULL_VOLUME 255
#define MUSIC_QUIET_VOLUME 128     // worlds 1 and 5

// Loads the seven sheets / the 16 effects and 32 voices in table order; nothing is checked, a
// failure leaves -1 in its slots. 0.
int LoadGameImages(void);
int LoadGameSounds(void);
// Plays effect / voice n in the background from its start when sound effects are on. 0, -1 for an
// index out of the table or a failed play.
int PlayEffectIfEnabled(int n);
int PlayVoiceIfEnabled(int n);
// The voice of an enemy event: 0 spotted (flag 1: 23, else flag 2: 30), 1 shot (by shot kind),
// 2 warp (flag 3: 24, else 31), 3 bomb eaten (29). The voice, or -1 for none.
int PickEnemyVoice(int event, int voiceFlag1, int voiceFlag2, int voiceFlag3, int shotKind);
// Volume 255, the world's music when music is on, volume 128 for worlds 1 and 5; a world outside
// 0..5 plays nothing. 0.
int PlayWorldMusic(int world);
// Stops the music, then (music on) the stage's: the world's, the final stage's or battle's. 0.
int StartStageMusic(void);
