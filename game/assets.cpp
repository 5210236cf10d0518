// Sprite sheets, sounds and music of the game.
#include "game/assets.h"

#include "game/records.h"
#include "game/services.h"

int gPlayerSheet[PLAYER_SHEET_FRAMES];
int gEnemySheet[ENEMY_SHEET_FRAMES];
int gItemSheet[ITEM_SHEET_FRAMES];
int gBlockSheet[BLOCK_SHEET_FRAMES];
int gShotSheet[SHOT_SHEET_FRAMES];
int gBombSheet[BOMB_SHEET_FRAMES];
int gFloorSheet[FLOOR_SHEET_FRAMES];
int gEffectSounds[GAME_EFFECT_COUNT];
int gVoiceSounds[GAME_VOICE_COUNT];

struct SheetEntry {
    const char *file;
    int total, across, down;
    int *handles;
};
static const SheetEntry kSheets[] = {
    {"png\\Player.png", PLAYER_SHEET_FRAMES, 4, 20, gPlayerSheet},
    {"png\\Enemy.png", ENEMY_SHEET_FRAMES, 20, 120, gEnemySheet},
    {"png\\Item.png", ITEM_SHEET_FRAMES, 4, 10, gItemSheet},
    {"png\\Block.png", BLOCK_SHEET_FRAMES, 5, 10, gBlockSheet},
    {"png\\Tama.png", SHOT_SHEET_FRAMES, 4, 10, gShotSheet},
    {"png\\Bomb.png", BOMB_SHEET_FRAMES, 4, 10, gBombSheet},
    {"png\\yuka.png", FLOOR_SHEET_FRAMES, 4, 10, gFloorSheet},
};

static const char *const kEffectFiles[GAME_EFFECT_COUNT] = {
    "wav\\bom09.wav",    "wav\\buble01.wav",  "wav\\fm000.wav",       "wav\\power09.wav",
    "wav\\fall00.wav",   "wav\\animal02.wav", "wav\\beep15.wav",      "wav\\byoro01_a.wav",
    "wav\\power10.wav",  "wav\\power37.wav",  "wav\\stage_start.wav", "wav\\cursor18.wav",
    "wav\\power28.wav",  "wav\\warp02.wav",   "wav\\power02.wav",     "wav\\metal24.wav",
};

static const char *const kVoiceFiles[GAME_VOICE_COUNT] = {
    "voice\\bonus.wav",     "voice\\bomup.wav",      "voice\\fireup.wav",     "voice\\speedup.wav",
    "voice\\oneup.wav",     "voice\\btuuka.wav",     "voice\\bl_tuuka.wav",   "voice\\muteki.wav",
    "voice\\limocon.wav",   "voice\\hart.wav",       "voice\\kantuu.wav",     "voice\\bom_down.wav",
    "voice\\fire_down.wav", "voice\\speed_down.wav", "voice\\powbom.wav",     "voice\\fullfire.wav",
    "voice\\linebomb.wav",  "voice\\dengerbom.wav",  "voice\\si.wav",         "voice\\bomkick.wav",
    "voice\\sindatoki.wav", "voice\\title_call.wav", "voice\\harry.wav",      "voice\\usi.wav",
    "voice\\kaeru.wav",     "voice\\tama1.wav",      "voice\\tama2.wav",      "voice\\tama3.wav",
    "voice\\tama4.wav",     "voice\\umee.wav",       "voice\\kowaiyo.wav",    "voice\\warp.wav",
};

static const char *const kWorldMusic[] = {
    "mid\\mori2.mid", "mid\\kgb_03.mid", "mid\\a-san.mid", "mid\\dancers4.mid", "mid\\dfa_14.mid",
    "mid\\kgb_02.mid",
};
#define WORLD_COUNT (int)(sizeof(kWorldMusic) / sizeof(kWorldMusic[0]))

int LoadGameImages(void)
{
    for (const SheetEntry &sheet : kSheets) {
        for (int i = 0; i < sheet.total; i++) sheet.handles[i] = -1;
        gServices.loadDividedGraphs(sheet.file, sheet.total, sheet.across, sheet.down, 32, 32,
                                    sheet.handles, 0);
    }
    return 0;
}

int LoadGameSounds(void)
{
    for (int i = 0; i < GAME_EFFECT_COUNT; i++)
        gEffectSounds[i] = gServices.loadSound(kEffectFiles[i], GAME_SOUND_BUFFERS, -1);
    for (int i = 0; i < GAME_VOICE_COUNT; i++)
        gVoiceSounds[i] = gServices.loadSound(kVoiceFiles[i], GAME_SOUND_BUFFERS, -1);
    return 0;
}

// Background play from the start, when the effects are on.
static int PlayIfEnabled(const int *handles, int count, int n)
{
    if (n < 0 || n >= count) return -1;
    if (!gGame || !gGame->soundEffectsOn) return 0;
    return gServices.playSound(handles[n], 1, 1) == -1 ? -1 : 0;
}

int PlayEffectIfEnabled(int n)
{
    return PlayIfEnabled(gEffectSounds, GAME_EFFECT_COUNT, n);
}

int PlayVoiceIfEnabled(int n)
{
    return PlayIfEnabled(gVoiceSounds, GAME_VOICE_COUNT, n);
}

int PickEnemyVoice(int event, int voiceFlag1, int voiceFlag2, int voiceFlag3, int shotKind)
{
    switch (event) {
    case 0:
        if (voiceFlag1) return 23;
        return voiceFlag2 ? 30 : -1;
    case 1:
        switch (shotKind) {
        case 1: return 25;
        case 2: return 26;
        case 3:
        case 4: return 27;
        case 5: return 28;
        }
        return -1;
    case 2: return voiceFlag3 ? 24 : 31;
    case 3: return 29;
    }
    return -1;
}

int PlayWorldMusic(int world)
{
    if (world < 0 || world >= WORLD_COUNT) return 0;
    gServices.changeCurrentMusicVolume(MUSIC_FULL_VOLUME);
    if (gGame->musicOn) gServices.playMusicFile(kWorldMusic[world], MUSIC_PLAY_LOOP);
    if (world == 1 || world == 5) gServices.changeCurrentMusicVolume(MUSIC_QUIET_VOLUME);
    return 0;
}

// The final stage's and battle's music at full volume.
static void PlayFullVolumeMusic(const char *file)
{
    gServices.changeCurrentMusicVolume(MUSIC_FULL_VOLUME);
    gServices.playMusicFile(file, MUSIC_PLAY_LOOP);
}

int StartStageMusic(void)
{
    gServices.stopCurrentMusic();
    if (!gGame->musicOn) return 0;
    if (gGame->mode == GAME_MODE_NORMAL) {
        if (gGame->stage == LAST_STAGE)
            PlayFullVolumeMusic(MUSIC_FINAL_AND_BATTLE);
        else
            PlayWorldMusic(gGame->world);
    } else if (gGame->mode == GAME_MODE_BATTLE) {
        PlayFullVolumeMusic(MUSIC_FINAL_AND_BATTLE);
    }
    return 0;
}
