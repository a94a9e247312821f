// Holds the single-instance object of the name given until it is killed, as a running
// program would.
#include <windows.h>

#include "appcore/single_instance.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  app::SingleInstance instance(argv[1]);
  if (instance.AlreadyRunning()) return 1;
  Sleep(INFINITE);
}
