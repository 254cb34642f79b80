#include "server/reply_stream.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct StreamCase {
  const char* name;
  std::string head;
  std::string body;
  std::string file;
  std::int64_t fileEnd;  // may claim more than the file holds
  std::string expected;
};

// Pushes the reply through a socket pair whose buffers are far smaller than the reply,
// reading between pushes, the way the loop meets a slow client.
std::string pushThroughSmallSocket(ReplyStream& reply, std::size_t budget) {
  int ends[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  const int small = 4096;
  setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::string received;
  char chunk[1024];
  for (int round = 0; round < 100000; ++round) {
    std::size_t sent = 0;
    const PushOutcome outcome = pushReply(ends[0], reply, budget, sent);
    EXPECT_NE(outcome, PushOutcome::Failed);
    if (outcome != PushOutcome::Waiting) break;
    const ssize_t got = recv(ends[1], chunk, sizeof chunk, MSG_DONTWAIT);
    if (got > 0) received.append(chunk, static_cast<std::size_t>(got));
  }
  shutdown(ends[0], SHUT_WR);
  ssize_t got;
  while ((got = recv(ends[1], chunk, sizeof chunk, 0)) > 0) received.append(chunk, static_cast<std::size_t>(got));
  close(ends[0]);
  close(ends[1]);
  return received;
}

TEST(pushReply, SendsHeadBodyFileAndTailInOrderWhateverTheSocketTakes) {
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
  const std::string head(20000, 'h');
  const StreamCase cases[] = {
      {"head only", "HTTP/1.1 200 OK\r\n\n", "", "", 0, "HTTP/1.1 200 OK\r\n\n"},
      {"head, body, tail", head, "body", "", 0, head + "body\r\n\n"},
      {"head, file, tail", "H", "", big, static_cast<std::int64_t>(big.size()), "H" + big + "\r\n\n"},
      {"file shorter than claimed: only what was read", "H", "", "abc", 10, "Habc\r\n\n"},
      {"empty file", "H", "", "", 0, "H\r\n\n"},
  };
  const fs::path file = fs::temp_directory_path() / ("velmora-stream-" + std::to_string(std::random_device{}()));
  for (const auto& c : cases) {
    for (std::size_t budget : {std::size_t{1}, std::size_t{5000}, replyPushBudget}) {
      SCOPED_TRACE(std::string(c.name) + ", budget " + std::to_string(budget));
      std::ofstream(file, std::ios::binary) << c.file;
      ReplyStream reply;
      reply.head = c.head;
      if (!c.body.empty()) reply.body = std::make_shared<const std::string>(c.body);
      ASSERT_TRUE(reply.file.open(file.c_str()));
      reply.fileEnd = c.fileEnd;
      reply.tail = c.name == std::string("head only") ? "" : "\r\n\n";
      ASSERT_TRUE(reply.keep());
      EXPECT_TRUE(pushThroughSmallSocket(reply, budget) == c.expected);
      EXPECT_TRUE(reply.finished());
    }
  }
  fs::remove(file);
}

TEST(pushReply, AConnectionThatFailedEndsTheReply) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  close(ends[1]);
  ReplyStream reply;
  reply.head = "HTTP/1.1 200 OK\r\n\n";
  std::size_t sent = 0;
  EXPECT_EQ(pushReply(ends[0], reply, replyPushBudget, sent), PushOutcome::Failed);
  close(ends[0]);
}

}  // namespace
