// What the service host starts: the agent's or the server's Java application.
#pragma once

namespace zaq {

enum LaunchKind : int {
  LAUNCH_SERVER = 0,
  LAUNCH_AGENT = 1,
};

}  // namespace zaq
