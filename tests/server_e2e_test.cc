// Velmora end to end: the real program in a scratch directory, real sockets on loopback,
// exact bytes on the wire.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>
#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "tests/support/e2e.h"
#include "tests/support/expected_replies.h"
#include "tests/support/fake_console.h"

namespace {

using namespace std::chrono;
using namespace std::string_literals;

// A client connection the test drives step by step.
class Client {
 public:
  explicit Client(int port, int receiveBuffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }
  void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // Everything until the server closes, or `limit`.
  // Reads in small steps with a pause between them: a slow client, but one that keeps up.
  std::string readSlowly(milliseconds pause, milliseconds limit) {
    std::string out;
    const auto deadline = steady_clock::now() + limit;
    char buffer[65536];
    while (steady_clock::now() < deadline) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(pause);
    }
    return out;
  }
  // Whatever is there now, up to `size` bytes, without waiting.
  std::string readSome(std::size_t size) {
    std::string out(size, '\0');
    const ssize_t n = recv(fd_, out.data(), size, MSG_DONTWAIT);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
  }
  std::string readAll(milliseconds limit = seconds(5)) {
    std::string out;
    const auto deadline = steady_clock::now() + limit;
    char buffer[65536];
    while (steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closedByPeer_ = true;
        break;
      }
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }
  bool closedByPeer() const { return closedByPeer_; }
  void resetOnClose() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closedByPeer_ = false;
};

// AddressSanitizer keeps freed memory in quarantine: resident sizes say nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.write("htdocs/index.html", "<h1>home</h1>");
    dir_.write("htdocs/page.html", "page");
    dir_.write("htdocs/empty.txt", "");
    dir_.write("htdocs/style.css", "body{}");
    dir_.write("htdocs/app.js", "1;");
    dir_.write("htdocs/doc.pdf", "%PDF");
    dir_.write("htdocs/logo.PNG", "png");
    dir_.write("htdocs/lib.d/readme", "readme");
    dir_.write("secret.html", "secret");
    server_ = testsupport::startServer(dir_.path());
  }
  int port() const { return server_.port; }
  long residentKiB() const {
    std::ifstream status("/proc/" + std::to_string(server_.child->pid()) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1L;
  }
  std::string get(const std::string& route) {
    return testsupport::exchange(port(), "GET " + route + " HTTP/1.1\r\nHost: x\r\n\r\n");
  }

  testsupport::TempDir dir_;
  testsupport::RunningServer server_;
};

const std::regex okHeader(
    R"(HTTP/1\.1 200 OK\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d )"
    R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d\r\n)"
    R"(Content-Type: ([a-z/]+)\r\n\n)");

struct FileCase {
  const char* route;
  const char* type;
  const char* body;
};

TEST_F(ServerTest, ServesFilesWithDateAndTypeHeader) {
  const std::array cases = {
      FileCase{"/", "text/html", "<h1>home</h1>"},
      FileCase{"/page?x=1", "text/html", "page"},
      FileCase{"/page", "text/html", "page"},
      FileCase{"/empty.txt", "text/html", ""},
      FileCase{"/style.css?v=2", "text/css", "body{}"},
      FileCase{"/app.js", "application/js", "1;"},
      FileCase{"/doc.pdf", "image/pdf", "%PDF"},
      FileCase{"/logo.PNG", "text/html", "png"},
      FileCase{"/lib.d/readme", "text/html", "readme"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.route);
    const std::string reply = get(c.route);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(reply, m, okHeader)) << reply;
    EXPECT_EQ(m.position(0), 0);
    EXPECT_EQ(m[3].str(), c.type);
    EXPECT_EQ(m.suffix().str(), c.body);
  }
}

TEST_F(ServerTest, RefusesWhatIsNotAFileInsideTheRoot) {
  // What a route without its leading "/" would be joined to, beside the root.
  dir_.write("htdocs.html", "outside");
  dir_.write("htdocsx.html", "outside");
  for (const char* route : {"/missing.html", "/missing", "/../secret.html", "/a/../../secret.html",
                            "/lib.d", "/..", "/%2e%2e/secret.html", "?x", "x.html"}) {
    SCOPED_TRACE(route);
    EXPECT_EQ(get(route), testsupport::NotFound);
  }
  const std::string longRoute = "/" + std::string(125, 'a');
  EXPECT_EQ(get(longRoute), testsupport::NotFound);
}

// Pages are held in memory between requests; every change on disk shows at once.
TEST_F(ServerTest, EditedPageIsServedFreshAtOnce) {
  const auto body = [&] {
    const std::string reply = get("/page");
    const std::size_t at = reply.find("\r\n\n");
    return at == std::string::npos ? reply : reply.substr(at + 3);
  };
  EXPECT_EQ(body(), "page");
  dir_.write("htdocs/page.html", "PAGE");  // same size, same second
  EXPECT_EQ(body(), "PAGE");
  dir_.write("htdocs/next.html", "next!");
  std::filesystem::rename(dir_.path() / "htdocs/next.html", dir_.path() / "htdocs/page.html");
  EXPECT_EQ(body(), "next!");
  std::filesystem::remove(dir_.path() / "htdocs/page.html");
  EXPECT_EQ(get("/page"), testsupport::NotFound);
  // A folder on the way to a page replaced by another of the same name.
  const auto inner = [&] {
    const std::string reply = get("/sub/inner.html");
    return reply.substr(reply.find("\r\n\n") + 3);
  };
  dir_.write("htdocs/sub/inner.html", "first");
  EXPECT_EQ(inner(), "first");
  std::filesystem::rename(dir_.path() / "htdocs/sub", dir_.path() / "htdocs/old");
  dir_.write("htdocs/sub/inner.html", "other");
  EXPECT_EQ(inner(), "other");
}

TEST_F(ServerTest, OtherMethodsGetBad) {
  for (const char* m : {"get", "HEAD", "DELETE", "OPTIONS", "PATCH", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"}) {
    SCOPED_TRACE(m);
    const std::string reply = testsupport::exchange(port(), std::string(m) + " / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(reply, testsupport::Bad);
  }
  EXPECT_EQ(testsupport::exchange(port(), "GET\r\n\r\n"), testsupport::Bad);
}

TEST_F(ServerTest, AppRoutesWithoutAnAppAreNotImplemented) {
  const std::string& expected = testsupport::NotImpl;
  EXPECT_EQ(testsupport::exchange(port(), "PUT /NoSuchApp HTTP/1.1\r\n\r\n1,2"), expected);
  EXPECT_EQ(testsupport::exchange(port(), "POST /NoSuchApp HTTP/1.1\r\n\r\n1,2"), expected);
  EXPECT_EQ(testsupport::exchange(port(), "PUT /ServerPutOSC?x=1 HTTP/1.1\r\n\r\n1,2"), expected);
}

TEST_F(ServerTest, PostRemovesTheLastDataFile) {
  dir_.write("htdocs/apps/VelmoraDataFile.txt", "stale");
  EXPECT_EQ(get("/apps/VelmoraDataFile.txt").substr(0, 15), "HTTP/1.1 200 OK");
  testsupport::exchange(port(), "POST /ServerPostOSC HTTP/1.1\r\n\r\nno-body");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "htdocs/apps/VelmoraDataFile.txt"));
}

TEST_F(ServerTest, RequestSplitAcrossSegmentsIsReadWhole) {
  // The body's second half comes in a later segment; the console must get the whole
  // command, not the part that came with the header.
  testsupport::FakeConsole console;
  const std::string body = "127.0.0.1," + std::to_string(console.port()) + ",/split/command";
  Client client(port());
  ASSERT_TRUE(client.connected());
  client.send("PUT /ServerPutOSC HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\n\r\n" + body.substr(0, 14));
  std::this_thread::sleep_for(milliseconds(300));
  client.send(body.substr(14));
  EXPECT_EQ(client.readAll(), testsupport::OK);
  ASSERT_TRUE(console.waitFor(1));
  EXPECT_EQ(console.received()[0], std::string("/split/command\0\0", 16));
}

TEST_F(ServerTest, HeaderSplitAcrossSegmentsIsReadWhole) {
  Client client(port());
  client.send("GET /pa");
  std::this_thread::sleep_for(milliseconds(200));
  client.send("ge HTTP/1.1\r\n");
  std::this_thread::sleep_for(milliseconds(200));
  client.send("Host: x\r\n\r\n");
  const std::string reply = client.readAll();
  std::smatch m;
  ASSERT_TRUE(std::regex_search(reply, m, okHeader)) << reply;
  EXPECT_EQ(m.suffix().str(), "page");
}

TEST_F(ServerTest, IdleConnectionDoesNotHoldOtherClients) {
  Client idle(port());
  ASSERT_TRUE(idle.connected());
  // One byte, so the kernel hands the connection over (a client that sends nothing is
  // kept back by the listener) and a server that blocked on it would block here.
  idle.send("G");
  std::this_thread::sleep_for(milliseconds(100));
  const auto start = steady_clock::now();
  const std::string reply = get("/page");
  // A server blocked on the idle connection would answer only after that one is dropped.
  EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
  EXPECT_EQ(reply.substr(0, 15), "HTTP/1.1 200 OK");
  // The idle one gets the time-out reply after the bound.
  const std::string idleReply = idle.readAll(seconds(10));
  EXPECT_TRUE(idle.closedByPeer());
  EXPECT_EQ(idleReply, testsupport::Timeout);
}

TEST_F(ServerTest, UnfinishedRequestGetsTimeoutAfterTheBound) {
  Client slow(port());
  const auto start = steady_clock::now();
  slow.send("GET /page HTTP/1.1\r\nHost:");
  const std::string reply = slow.readAll(seconds(6));
  const auto took = steady_clock::now() - start;
  EXPECT_EQ(reply, testsupport::Timeout);
  EXPECT_GT(took, milliseconds(1500));
  EXPECT_LT(took, milliseconds(5000));
}

TEST_F(ServerTest, ClientThatLeavesEarlyDoesNotEndTheServer) {
  dir_.write("htdocs/big.bin", std::string(4 << 20, 'x'));
  for (int i = 0; i < 5; ++i) {
    Client leaver(port());
    leaver.send("GET /big.bin HTTP/1.1\r\n\r\n");
    leaver.resetOnClose();
  }
  {
    Client quiet(port());
    quiet.send("GET /big.bin HTTP/1.1\r\n\r\n");
  }
  EXPECT_EQ(get("/page").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_TRUE(server_.child->running());
}

// Clients that read a big file slowly, and one that stops reading, never hold the server:
// another client's small GET is answered at once all the while, the stalled one is given
// up after 2 s without progress, and the replies in flight cost the server almost no
// memory (files are streamed, not held).
TEST_F(ServerTest, SlowReadersHoldNeitherTheServerNorItsMemory) {
  dir_.write("htdocs/big.bin", std::string(8 << 20, 'b'));
  get("/page");
  const long before = residentKiB();
  std::vector<std::unique_ptr<Client>> readers;
  for (int i = 0; i < 64; ++i) {
    readers.push_back(std::make_unique<Client>(port(), 4096));
    readers.back()->send("GET /big.bin HTTP/1.1\r\n\r\n");
  }
  Client stalled(port(), 4096);
  stalled.send("GET /big.bin HTTP/1.1\r\n\r\n");
  milliseconds slowest{0};
  long peak = 0;
  for (int step = 0; step < 16; ++step) {  // 4 s, reading 4 KiB a second from each reader
    if (step % 4 == 0) {
      for (auto& r : readers) r->readSome(4096);
    }
    const auto start = steady_clock::now();
    EXPECT_EQ(get("/page").substr(0, 15), "HTTP/1.1 200 OK");
    slowest = std::max(slowest, duration_cast<milliseconds>(steady_clock::now() - start));
    peak = std::max(peak, residentKiB());
    std::this_thread::sleep_for(milliseconds(250));
  }
  EXPECT_LT(slowest, milliseconds(2000));
  const std::string given = stalled.readAll(seconds(5));
  EXPECT_TRUE(stalled.closedByPeer());
  EXPECT_LT(given.size(), std::size_t{8} << 20);
  if (!underAddressSanitizer) {
    EXPECT_LT(peak - before, 4 * 1024) << "KiB";
  }
}

TEST_F(ServerTest, SlowReaderStillGetsTheWholeFile) {
  std::string content(8 << 20, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13);
  dir_.write("htdocs/big.bin", content);
  Client slow(port(), 65536);
  slow.send("GET /big.bin HTTP/1.1\r\n\r\n");
  // About 3 s in all, longer than the bound on one stalled send, never stalled itself.
  const std::string reply = slow.readSlowly(milliseconds(20), seconds(30));
  const std::size_t bodyAt = reply.find("\r\n\n");
  ASSERT_NE(bodyAt, std::string::npos);
  EXPECT_EQ(reply.size() - bodyAt - 3, content.size());
  EXPECT_TRUE(reply.substr(bodyAt + 3) == content);
}

TEST_F(ServerTest, SpecialFilesAreNotFoundAndDoNotStall) {
  ASSERT_EQ(mkfifo((dir_.path() / "htdocs/pipe.html").c_str(), 0644), 0);
  const auto start = steady_clock::now();
  EXPECT_EQ(get("/pipe.html"), testsupport::NotFound);
  EXPECT_EQ(get("/page").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_LT(steady_clock::now() - start, seconds(3));
}

TEST_F(ServerTest, BigReplyMemoryIsGivenBack) {
  if (underAddressSanitizer) {
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine, so resident size "
                    "cannot show it being given back";
  }
  dir_.write("htdocs/big.bin", std::string(64 << 20, 'b'));
  const long before = residentKiB();
  EXPECT_GT(get("/big.bin").size(), 64u << 20);
  EXPECT_EQ(get("/page").substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_LT(residentKiB() - before, 16 * 1024);
}

TEST_F(ServerTest, BigFileArrivesWhole) {
  std::string content(3 << 20, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  dir_.write("htdocs/big.bin", content);
  const std::string reply = get("/big.bin");
  const std::size_t bodyAt = reply.find("\r\n\n");
  ASSERT_NE(bodyAt, std::string::npos);
  EXPECT_EQ(reply.substr(bodyAt + 3), content);
}

TEST_F(ServerTest, BurstOfConnectionsIsServedAndLeavesNoDescriptors) {
  get("/page");
  const int before = testsupport::openDescriptors(server_.child->pid());
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 40; ++i) clients.push_back(std::make_unique<Client>(port()));
  for (auto& c : clients) c->send("GET /page HTTP/1.1\r\n\r\n");
  int served = 0;
  for (auto& c : clients) served += c->readAll().find("page") != std::string::npos;
  EXPECT_EQ(served, 40);
  for (int i = 0; i < 100; ++i) {
    testsupport::exchange(port(), i % 3 == 0 ? "GET /missing HTTP/1.1\r\n\r\n"
                     : i % 3 == 1 ? "PUT /ServerPutOSC HTTP/1.1\r\n\r\nbad"
                                  : "BREW / HTTP/1.1\r\n\r\n");
  }
  EXPECT_EQ(testsupport::openDescriptors(server_.child->pid()), before);
}

// --- start-up ---------------------------------------------------------------------------

const std::string usage =
    "usage: Velmora [-p xxx, [8080], listening port value]\n"
    "                      [-a <IPv4 address to listen on>, default: every interface]\n"
    "                      [-d <absolute path to server apps>, default: ./htdocs/apps]\n"
    "                      [-s <buffer allocation size for requests and OSC>, default: 4096]\n\n";

struct StartCase {
  std::vector<std::string> args;
  int status;
  bool printsUsage;
  const char* errorText;
};

TEST(VelmoraStartup, OptionsThatEndTheProgram) {
  const std::array cases = {
      StartCase{{"-h"}, 0, true, ""},
      StartCase{{"-x"}, 255, true, "invalid option"},
      StartCase{{"-p"}, 255, true, "requires an argument"},
      StartCase{{"-p", "0"}, 255, false, "port 0 is out of range"},
      StartCase{{"-p", "70000"}, 255, false, "port 70000 is out of range"},
      StartCase{{"-p", "-5"}, 255, false, "out of range"},
      StartCase{{"-s", "10"}, 255, false, "buffer size 10 is out of range"},
      StartCase{{"-s", "999999999"}, 255, false, "out of range"},
      StartCase{{"-a", "1.2.3"}, 255, false, "-a needs an IPv4 address such as 127.0.0.1, not '1.2.3'"},
      StartCase{{"-a", "localhost"}, 255, false, "not 'localhost'"},
  };
  testsupport::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    testsupport::Child child(testsupport::program("Velmora"), c.args, dir.path());
    EXPECT_EQ(child.wait(), c.status);
    EXPECT_EQ(child.out(), c.printsUsage ? usage : "");
    EXPECT_NE(child.err().find(c.errorText), std::string::npos) << child.err();
  }
}

TEST(VelmoraStartup, BannerThenListeningLineAndAWordWhenHtdocsIsMissing) {
  for (const bool withDocs : {true, false}) {
    SCOPED_TRACE(withDocs ? "with htdocs" : "without htdocs");
    testsupport::TempDir dir;
    if (withDocs) dir.write("htdocs/index.html", "x");
    auto server = testsupport::startServer(dir.path());
    EXPECT_EQ(server.child->out(),
              "Velmora - Server exchanging data with digital consoles from web clients\n"
              "             [ver 1.4]\n\n"
              "Velmora listening on port " + std::to_string(server.port) + "\n");
    const std::string warning =
        "there is no htdocs folder in " + testsupport::asSeenByPrograms(dir.path()) + ",";
    EXPECT_EQ(server.child->err().find(warning) != std::string::npos, !withDocs) << server.child->err();
    // It goes on serving either way.
    EXPECT_EQ(testsupport::exchange(server.port, "GET / HTTP/1.1\r\n\r\n").substr(0, 12),
              withDocs ? "HTTP/1.1 200" : "HTTP/1.1 404");
  }
}

bool acceptsOn(const char* address, int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address, &a.sin_addr);
  const bool connected = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return connected;
}

TEST(VelmoraStartup, ListensOnTheAddressOfOptionA) {
  testsupport::TempDir dir;
  auto onlyLoopback = testsupport::startServer(dir.path(), {"-a", "127.0.0.1"});
  EXPECT_TRUE(acceptsOn("127.0.0.1", onlyLoopback.port));
  EXPECT_FALSE(acceptsOn("127.0.0.2", onlyLoopback.port));
  auto everywhere = testsupport::startServer(dir.path(), {"-a", "0.0.0.0"});
  EXPECT_TRUE(acceptsOn("127.0.0.2", everywhere.port));
  auto byDefault = testsupport::startServer(dir.path());
  EXPECT_TRUE(acceptsOn("127.0.0.2", byDefault.port));
}

TEST(VelmoraStartup, PortInUseIsReportedByBind) {
  testsupport::TempDir dir;
  auto first = testsupport::startServer(dir.path());
  testsupport::Child second(testsupport::program("Velmora"), {"-p", std::to_string(first.port)},
                            dir.path());
  EXPECT_EQ(second.wait(), 255);
  const std::string err = second.err();
  if (testsupport::windowsBuild()) {
    // The system's text (in the user's language) and the code: WSAEADDRINUSE, or WSAEACCES
    // for a port held with the exclusive-address option. Never errno's "Success", which
    // Winsock leaves untouched.
    const std::regex text(R"(^bind: .*\(Winsock error 100(48|13)\)\n$)");
    EXPECT_TRUE(std::regex_search(err, text)) << err;
  } else {
    EXPECT_NE(err.find("bind: Address already in use"), std::string::npos) << err;
  }
}

TEST(VelmoraStartup, RestartsOnItsPortRightAfterServing) {
  testsupport::TempDir dir;
  dir.write("htdocs/index.html", "x");
  auto first = testsupport::startServer(dir.path());
  for (int i = 0; i < 20; ++i) testsupport::exchange(first.port, "GET / HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(first.child->stop());
  testsupport::Child again(testsupport::program("Velmora"), {"-p", std::to_string(first.port)},
                           dir.path());
  ASSERT_TRUE(testsupport::waitForTcpPort(first.port, seconds(3))) << again.err();
  EXPECT_TRUE(again.running());
  EXPECT_EQ(testsupport::exchange(first.port, "GET / HTTP/1.1\r\n\r\n").back(), 'x');
}

TEST(VelmoraStartup, LastOptionWinsAndBadNumbersKeepTheOldValue) {
  testsupport::TempDir dir;
  const int port = testsupport::freeTcpPort();
  testsupport::Child child(testsupport::program("Velmora"),
                           {"-p", "1", "-p", std::to_string(port), "-s", "abc"}, dir.path());
  ASSERT_TRUE(testsupport::waitForTcpPort(port));
  EXPECT_NE(child.out().find("listening on port " + std::to_string(port)), std::string::npos);
}

}  // namespace
