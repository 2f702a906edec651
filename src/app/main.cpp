// Entry point of the reader: start-up, then the main loop, which never returns.
#include "app/engine.h"
#include "platform/trace.h"

int main() {
  GpTrace("-main\n");
  Init();
  GameEngine();
}
