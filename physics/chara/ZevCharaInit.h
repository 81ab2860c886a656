// Start-up of the game characters: the physics core's start-up, then the stream hooks of the physics classes and
// the characters' classes and hooks. Later calls do nothing.
#pragma once

void ZevCharaInit();
