// Entry point of the reader: start-up, then the main loop, which never returns.
#include <cstdio>

#include "app/engine.h"

int main() {
  std::printf("-main\n");
  Init();
  GameEngine();
}
