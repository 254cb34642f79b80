#include "server/server_state.h"

int serverPort = defaultServerPort;
int oscMaxSize = defaultOscMaxSize;
in_addr listenAddress{};
sockaddr_in server_addr{};
sockaddr_in client_addr{};
SocketHandle serverSocket = invalidSocket;
SocketHandle clientSocket = invalidSocket;
char* request = nullptr;
int reqlen = 0;
char method[16] = {};
char route[128] = {};
char fileURL[128] = {};
std::int64_t wTime0 = 0;
std::int64_t wTime1 = 0;
std::uint32_t endian = 0;

std::string appsDir;
std::string dataFilePath;
