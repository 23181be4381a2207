// kickscan: asks the local agent to rescan. Connects to the agent's rescan
// listener, sends the request, half-closes and waits until the agent closes.
// A GUI-subsystem program without a window: failures go to the debugger output,
// and the exit code tells a script the outcome: 0 when the request was sent and
// the reply read, otherwise the Winsock error code of the call that failed.
#include <winsock.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned short RESCAN_PORT = 40500;
constexpr char RESCAN_HOST[] = "localhost";
constexpr char RESCAN_REQUEST[] = "rescan";  // sent without its terminator

// One report per failure: the text with the Winsock error of this moment,
// which is returned for the exit code.
int report(const char* format) {
  int error = WSAGetLastError();
  char text[100];
  std::snprintf(text, sizeof text, format, error);
  OutputDebugStringA(text);
  return error;
}

// The connected socket, or INVALID_SOCKET with *error set.
SOCKET connectToListener(int* error) {
  WSADATA wsaData;
  if (int started = WSAStartup(MAKEWORD(1, 1), &wsaData); started != 0) {
    report("WSAStartup failed. Error: %d");
    // WSAStartup returns its error; WSAGetLastError needs a started Winsock.
    *error = started;
    return INVALID_SOCKET;
  }
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) {
    *error = report("Allocating socket failed. Error: %d");
    WSACleanup();
    return INVALID_SOCKET;
  }
  // NOLINTNEXTLINE(concurrency-mt-unsafe): Winsock keeps the result per thread
  hostent* host = gethostbyname(RESCAN_HOST);
  if (host == nullptr) {
    *error = report("Unable to get the host name. Error: %d");
    closesocket(s);
    WSACleanup();
    return INVALID_SOCKET;
  }
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  // Never copy more than the address field holds, whatever the entry claims.
  size_t length = host->h_length > 0 ? static_cast<size_t>(host->h_length) : 0;
  if (length > sizeof address.sin_addr) length = sizeof address.sin_addr;
  std::memcpy(&address.sin_addr, host->h_addr_list[0], length);
  address.sin_port = htons(RESCAN_PORT);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    *error = report("Connecting to the server failed. Error: %d");
    closesocket(s);
    WSACleanup();
    return INVALID_SOCKET;
  }
  return s;
}

// 0 when the request was sent and the reply read to its end, else the Winsock
// error of the first call that failed. A failed send still waits for the reply.
int sendRescan(SOCKET s) {
  int error = 0;
  if (send(s, RESCAN_REQUEST, sizeof RESCAN_REQUEST - 1, 0) == SOCKET_ERROR) {
    error = report("Sending data to the server failed. Error: %d");
  }
  shutdown(s, 1 /* SD_SEND */);
  char reply[256];
  for (;;) {
    int got = recv(s, reply, sizeof reply, 0);
    if (got == 0) break;
    if (got == SOCKET_ERROR) {
      int received = report("No data is received, recv failed. Error: %d");
      if (error == 0) error = received;
      break;
    }
  }
  shutdown(s, 0 /* SD_RECEIVE */);
  return error;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int error = 0;
  SOCKET s = connectToListener(&error);
  if (s != INVALID_SOCKET) {
    error = sendRescan(s);
    closesocket(s);
    WSACleanup();
  }
  return error;
}
