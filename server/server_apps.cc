#include "server/server_apps.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/net.h"
#include "platform/process.h"
#include "server/http_replies.h"
#include "server/server_state.h"
#include "server/static_files.h"

namespace {

constexpr int dataFileWaitMs = 500;
constexpr int earlierAppsWaitMs = 500;
constexpr int dataFilePollMs = 10;
constexpr std::size_t textReplyHeaderRoom = 128;

// One watch on the apps directory for the whole run (appsDir never changes once serving).
FolderWatch appsDirWatch;

// Only files inside the apps directory may run: the route must start with its separator,
// and no segment may climb out of it. A backslash is a separator on Windows, so it is
// refused everywhere rather than judged per platform.
bool routeStaysInAppsDir(const char* route) {
  return route[0] == '/' && std::strchr(route, '\\') == nullptr && !hasParentSegment(route);
}

// Opens the data file into `file` at once and then every 10 ms (sooner when the apps
// directory gains a file) until 500 ms after the launch; false when the time ran out.
// No attempt is made once the deadline has passed.
bool awaitDataFile(FileReader& file, FolderWatch& watch) {
  wTime0 = monotonicMs();
  wTime1 = wTime0 + dataFileWaitMs;
  for (;;) {
    if (file.open(dataFilePath.c_str())) return true;
    const std::int64_t left = wTime1 - wTime0;
    watch.waitMs(static_cast<int>(left < dataFilePollMs ? left : dataFilePollMs));
    wTime0 = monotonicMs();
    if (wTime0 >= wTime1) return false;
  }
}

// Sends the file's bytes as the text reply, header and body in one buffer and one send.
// A file that yields fewer bytes than its size declares only the bytes it gave. A big one is
// streamed from the file, so it costs no memory of its own.
void sendDataFile(FileReader& file) {
  std::int64_t size = file.size();
  if (size < 0) size = 0;
  if (static_cast<std::size_t>(size) + textReplyHeaderRoom > smallReplySize) {
    char header[textReplyHeaderRoom];
    ReplyStream reply;
    reply.head = std::string_view(header, static_cast<std::size_t>(textReplyHeader(
                                              header, sizeof header, static_cast<std::size_t>(size))));
    reply.file = std::move(file);
    reply.fileEnd = size;
    reply.tail = "\r\n\n";
    sendStream(std::move(reply));
    return;
  }
  const auto room = static_cast<std::size_t>(size) + textReplyHeaderRoom;
  char* reply = replyBuffer(room);
  if (reply == nullptr) failOutOfMemory();
  int header = textReplyHeader(reply, textReplyHeaderRoom, static_cast<std::size_t>(size));
  std::int64_t got = file.readFully(reply + header, static_cast<std::size_t>(size));
  if (got < 0) got = 0;
  if (got != size) {
    char shorter[textReplyHeaderRoom];
    const int fixed = textReplyHeader(shorter, sizeof shorter, static_cast<std::size_t>(got));
    std::memmove(reply + fixed, reply + header, static_cast<std::size_t>(got));
    std::memcpy(reply, shorter, static_cast<std::size_t>(fixed));
    header = fixed;
  }
  std::memcpy(reply + header + got, "\r\n\n", 3);
  sendToClient(reply, static_cast<std::size_t>(header + got + 3));
}

}  // namespace

int ServerForkApp(const char* appsDir, const char* route, const char* body) {
  if (!routeStaysInAppsDir(route)) return 0;
  const std::size_t dirLength = std::strlen(appsDir);
  const std::size_t routeLength = std::strlen(route);
  std::unique_ptr<char[]> program(new (std::nothrow) char[dirLength + routeLength + sizeof ".exe"]);
  if (!program) return -1;
  std::memcpy(program.get(), appsDir, dirLength);
  std::memcpy(program.get() + dirLength, route, routeLength);
  std::memcpy(program.get() + dirLength + routeLength, ".exe", sizeof ".exe");
  return launchApp(program.get(), body);
}

void servePutApp(char* body) {
  if (ServerForkApp(appsDir.c_str(), route, body) > 32) sendReply(OK);
  else sendReply(NotImpl);
}

void servePostApp(char* body) {
  // All apps hand back through one data file, so an app launched earlier (by a PUT, or by a
  // POST that timed out) could leave its answer while this one is awaited. Only once no
  // earlier app runs is the file this request's own; until then it is an honest Timeout.
  if (!awaitAppsEnded(earlierAppsWaitMs)) {
    sendReply(Timeout);
    return;
  }
  removeFile(dataFilePath.c_str());
  // Watching starts before the launch, so an app that finishes at once still wakes us.
  appsDirWatch.start(appsDir.c_str());
  if (ServerForkApp(appsDir.c_str(), route, body) <= 32) {
    sendReply(NotImpl);
    return;
  }
  FileReader file;
  if (!awaitDataFile(file, appsDirWatch)) {
    sendReply(Timeout);
    return;
  }
  sendDataFile(file);
}
