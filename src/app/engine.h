// Start-up, the main loop with the reading controls, and the exit sequence.
// main() calls Init and GameEngine; the menu's Exit command calls Shutdown.
#pragma once

#include <cstdint>

// Start-up: file service, video, fonts, the Text object, the current entry and
// the recent list, then the settings.
void Init();
// The introduction, the recent-files offer and the main loop; never returns.
[[noreturn]] void GameEngine();
// Saves the settings and the reading place, releases everything and leaves
// for the console menu; never returns.
[[noreturn]] void Shutdown();

// The steps of GameEngine, so tests can run the loop pass by pass.
void EngineStart();    // everything before the loop
void MainLoopPass();  // one pass of the loop
bool AutoscrollOn();

// What a quit event (window closed, SIGTERM) saves before the program ends.
void SaveOnQuit();
