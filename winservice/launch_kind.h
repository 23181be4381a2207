// What the service host starts: the agent's or the server's Java application.
#pragma once

namespace zaq {

enum LaunchKind : int {
  LAUNCH_SERVER = 0,
  LAUNCH_AGENT = 1,
};

// The port the Java application takes commands on when its configuration file
// names none: the agent's, and the next one for the server.
constexpr int AGENT_LOG_CMD_PORT = 1952;
constexpr int defaultLogCmdPort(LaunchKind kind) {
  return kind == LAUNCH_AGENT ? AGENT_LOG_CMD_PORT : AGENT_LOG_CMD_PORT + 1;
}

}  // namespace zaq
