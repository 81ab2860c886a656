// The millisecond clock of the scenes and the engine host: the fps text and the measured cost of world steps.
#pragma once

// Milliseconds since the program started, from the monotonic clock (never goes back).
double ZevSceneMilliseconds();

// Sleeps the calling thread for the given milliseconds (nothing for 0 or less).
void ZevSceneSleep(int milliseconds);
