// `vexlor index add` killed in the middle, and the refusals of `vexlor
// serve`. Needs VEXLOR_BINARY.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/command_file_test.h"
#include "vexlor/tables/index/record_index.h"

extern char** environ;

namespace vexlor {
namespace {

class IndexCommandTest : public testing::CommandFileTest {
 protected:
  void SetUp() override {
    const char* binary = std::getenv("VEXLOR_BINARY");
    if (binary == nullptr || *binary == '\0') {
      GTEST_SKIP() << "VEXLOR_BINARY is not set";
    }
    binary_ = binary;
  }

  // Starts the program with `args`, its output to the file `out`.
  pid_t Start(std::vector<std::string> args, const std::string& out) {
    args.insert(args.begin(), binary_);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, File(out).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, File("err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    posix_spawn(&pid, binary_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  // A table of `rows` people, some of them twice.
  std::string People(uint32_t rows, uint32_t seed) {
    std::mt19937 random(seed);
    std::string csv = "name,city\n";
    for (uint32_t r = 0; r < rows; ++r) {
      std::string name;
      for (int i = 0; i < 10; ++i) name += char('a' + random() % 26);
      csv += name + ",town" + std::to_string(random() % 50) + "\n";
    }
    return csv;
  }

  std::string binary_;
};

// A process killed with SIGKILL at any moment of an add leaves the index
// with none or all of the call's records, and the index opens and takes
// more records afterwards.
TEST_F(IndexCommandTest, AddKilledLeavesNoneOrAll) {
  const std::string index = File("people.index");
  Write("first.csv", People(2000, 1));
  Write("more.csv", People(20000, 2));
  ASSERT_EQ(Wait(Start({"index", "create", index, File("first.csv")}, "o")), 0);
  // How long a whole add takes, on a copy.
  const std::string copy = File("copy.index");
  testing::WriteBytes(copy, Read(index));
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Start({"index", "add", copy, File("more.csv")}, "o")), 0);
  const auto whole = std::chrono::steady_clock::now() - begin;
  uint32_t expected = 2000;
  int killed = 0;
  for (int tenth = 1; tenth <= 12; ++tenth) {
    SCOPED_TRACE(tenth);
    const pid_t pid = Start({"index", "add", index, File("more.csv")}, "o");
    std::this_thread::sleep_for(whole * tenth / 10);
    kill(pid, SIGKILL);
    if (Wait(pid) == -SIGKILL) ++killed;
    std::string error;
    auto opened = RecordIndex::Open(index, std::nullopt, &error);
    ASSERT_NE(opened, nullptr) << error;
    const uint32_t records = opened->Info().records;
    EXPECT_TRUE(records == expected || records == expected + 20000) << records;
    expected = records;
  }
  EXPECT_GT(killed, 0);
  ASSERT_EQ(Wait(Start({"index", "add", index, File("more.csv")}, "o")), 0);
}

// What a request gets back: status and body.
struct Reply {
  int status = 0;
  std::string body;
};

Reply Request(int port, const std::string& head, const std::string& body) {
  Reply reply;
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(s);
    return reply;
  }
  const std::string request = head + "\r\nHost: 127.0.0.1\r\nContent-Length: " +
                              std::to_string(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body;
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n =
        send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  close(s);
  if (text.size() > 12) reply.status = std::atoi(text.c_str() + 9);
  const size_t at = text.find("\r\n\r\n");
  if (at != std::string::npos) reply.body = text.substr(at + 4);
  return reply;
}

// Requests the service cannot take get 401, 403 or 400 with a message
// naming what is wrong, and the service answers the next one.
TEST_F(IndexCommandTest, ServiceRefusesAndGoesOn) {
  const std::string index = File("people.index");
  Write("first.csv", "name,city\nAnn Smith,Bonn\nBob Jones,Ulm\n");
  ASSERT_EQ(Wait(Start({"index", "create", index, File("first.csv")}, "o")), 0);
  const std::string token = "a-token-of-some-length";
  Write("token", token + "\n");
  const pid_t pid = Start({"serve", index, "--port", "0", "--token-file",
                           File("token"), "--max-body", "1000"},
                          "serve.out");
  int port = 0;
  for (int i = 0; i < 100 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string out = Read(File("serve.out"));
    const size_t colon = out.rfind(':');
    if (out.find("listening on http://127.0.0.1:") == 0 && out.back() == '\n') {
      port = std::atoi(out.c_str() + colon + 1);
    }
  }
  ASSERT_NE(port, 0) << Read(File("err.txt"));
  const std::string auth = "\r\nAuthorization: Bearer " + token;
  const std::string match = "POST /match HTTP/1.1";
  const std::string good = R"({"records": [{"name": "Ann Smith"}]})";
  struct Case {
    std::string head;
    std::string body;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {match, good, 401, "Authorization: Bearer"},
      {match + "\r\nAuthorization: Bearer wrong", good, 403, "wrong token"},
      {match + auth, R"({"records": [{"name": )", 400, "bad JSON"},
      {match + auth, R"({"records": [{"nmae": "Ann"}]})", 400,
       "unknown column 'nmae'"},
      {match + auth, R"({"rows": []})", 400, "records"},
      {match + auth, R"({"records": [{"name": ["Ann"]}]})", 400,
       "not a text, number or null"},
      {"POST /add HTTP/1.1" + auth, std::string(2000, ' '), 400,
       "larger than the 1000 bytes"},
      {"GET /health HTTP/1.1", "", 200, "\"records\":2"},
      {match + auth, good, 200, "\"similarity\":100"},
      {match + auth, R"({"records": [{"name": "Zed Quist"}]})", 200,
       "\"group\":null"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.head + " " + test.body.substr(0, 40));
    const Reply reply = Request(port, test.head, test.body);
    EXPECT_EQ(reply.status, test.status);
    EXPECT_NE(reply.body.find(test.says), std::string::npos) << reply.body;
  }
  kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 0);
}

}  // namespace
}  // namespace vexlor
