// zaqservice: the VQM application's Windows service host.
#include "winservice/service_entry.h"

int main(int argc, char** argv) {
  zaq::serviceHostMain(argc, argv);
}
