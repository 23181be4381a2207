// zelmsg CATALOG SET NUMBER [DEFAULT]: what the service will print for a message.
#include "tools/zelmsg/zelmsg.h"

int main(int argc, char** argv) {
  return zelmsg::run(argc, argv, stdout, stderr);
}
