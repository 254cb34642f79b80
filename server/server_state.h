// The server's process-wide state. One thread serves one request at a time, which is
// what makes these shared buffers safe.
#pragma once

#include <cstdint>
#include <string>

#include "platform/net.h"

inline constexpr int defaultServerPort = 8080;
inline constexpr int defaultOscMaxSize = 4096;

extern int serverPort;         // TCP port to listen on (-p)
extern in_addr listenAddress;  // IPv4 address to listen on (-a), any by default
extern int oscMaxSize;         // request buffer, OSC packet and reply text size (-s)
extern sockaddr_in server_addr;
extern sockaddr_in client_addr;
extern SocketHandle serverSocket;
extern SocketHandle clientSocket;  // every reply of every handler goes here
extern char* request;              // oscMaxSize bytes, allocated once for the whole run
extern int reqlen;                 // bytes of the current request in `request`
extern char method[16];
extern char route[128];
extern char fileURL[128];
extern std::int64_t wTime0;  // data-file wait: now and deadline, milliseconds
extern std::int64_t wTime1;
extern std::uint32_t endian;  // scratch word of the OSC text parser and decoder

extern std::string appsDir;       // where apps are launched from (-d)
extern std::string dataFilePath;  // appsDir + "/VelmoraDataFile.txt"
