// The module player (placeholder until the player lands).
#include "player.h"

int BASSMOD_Init(int, uint32_t, uint32_t) { return 0; }
int BASSMOD_MusicLoad(int, const void *, uint32_t, uint32_t, uint32_t) { return 0; }
int BASSMOD_MusicPlay() { return 0; }
uint32_t BASSMOD_MusicGetPosition() { return 0; }
int BASSMOD_MusicStop() { return 0; }
int BASSMOD_MusicFree() { return 0; }
int BASSMOD_Free() { return 0; }
const char *playerErrorText() { return "no player yet"; }
