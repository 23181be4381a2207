// Holds a Wine session open for a test run: writes the ready file named by its
// argument, then sleeps until the session is ended with wineserver -k.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc > 1) {
    FILE* f = std::fopen(argv[1], "w");
    if (f != nullptr) std::fclose(f);
  }
  for (;;) Sleep(INFINITE);
}
