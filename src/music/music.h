// Music: starts the module at start-up and holds the shutdown sequence that ends
// every normal run.
#pragma once

// Initialises the player, loads and starts "marigold.it" and stamps sceneStartMs.
// Prints what failed on standard error and exits with status 1 if it cannot play.
void startMusic();
// Stops and frees the music, shuts the player down and exits with status 0.
void quitDemo(int elapsedMs);
