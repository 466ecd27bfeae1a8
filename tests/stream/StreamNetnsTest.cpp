// Blocking calls that hang for real, cut by the watchdog, inside the
// namespace that in-own-netns.sh makes. Also checks that the descriptor is
// closed once, by its owner: never by the watchdog's thread, where the
// number could be handed out again before the owner is done with it.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "net/TcpSocket.h"
#include "support/LoopbackServer.h"

namespace {

int OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int n = 0;
    while (readdir(dir) != nullptr) {
        ++n;
    }
    closedir(dir);
    return n;
}

bool IsOpenSocket(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

int LowestFreeDescriptor() {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(fd);
    return fd;
}

// Notes whether its descriptor was still open when the watchdog's handler
// had finished.
class WatchedSocket : public CTcpSocket {
public:
    explicit WatchedSocket(int fd) : fd_(fd) {}
    void OnTimeout() override {
        CTcpSocket::OnTimeout();
        openAfterHandler = IsOpenSocket(fd_) ? 1 : 0;
    }
    std::atomic<int> openAfterHandler{-1};

private:
    int fd_;
};

class StreamNetns : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PONTARO_STREAM_NETNS") == nullptr) {
            GTEST_SKIP() << "runs only inside tests/stream/in-own-netns.sh";
        }
        dropPort_ = std::atoi(std::getenv("PONTARO_STREAM_DROP_PORT"));
    }
    long ElapsedMs(std::chrono::steady_clock::time_point since) {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - since)
                                     .count());
    }
    int dropPort_ = 0;
};

TEST_F(StreamNetns, HangingConnectIsCutAtTheDeadline) {
    const int before = OpenDescriptors();
    const int fd = LowestFreeDescriptor();
    int sentinel = -1;
    {
        WatchedSocket socket(fd);
        socket.SetTimeout(300);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(socket.Connect("127.0.0.1", dropPort_), -2);
        const long waited = ElapsedMs(start);
        EXPECT_GE(waited, 300);
        EXPECT_LT(waited, 5000);
        EXPECT_EQ(socket.LastErrorText(),
                  " ホストに接続できませんでした。 [127.0.0.1:" + std::to_string(dropPort_) + "]");
        EXPECT_EQ(socket.TimedOut(), 1);
        EXPECT_EQ(socket.openAfterHandler, 1);
        EXPECT_FALSE(IsOpenSocket(fd));
        // The number is free again; whoever gets it next must keep it.
        sentinel = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(sentinel, fd);
        EXPECT_EQ(socket.Available(), -1);
    }
    EXPECT_NE(fcntl(sentinel, F_GETFD), -1) << "the connection closed its number twice";
    close(sentinel);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(StreamNetns, HangingSendIsCutAtTheDeadline) {
    const int before = OpenDescriptors();
    int sentinel = -1;
    {
        LoopbackServer::Behaviour b;
        b.readNothing = true;
        b.receiveBufferBytes = 4096;
        LoopbackServer server(b);
        const int fd = LowestFreeDescriptor();
        WatchedSocket socket(fd);
        socket.SetTimeout(300);
        ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
        ASSERT_TRUE(IsOpenSocket(fd));
        const std::string block(32 * 1024 * 1024, 'x');
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(socket.Send(block.data(), static_cast<int>(block.size())), -1);
        const long waited = ElapsedMs(start);
        EXPECT_GE(waited, 300);
        EXPECT_LT(waited, 5000);
        EXPECT_EQ(socket.LastErrorText(), "データ送信に失敗しました。");
        EXPECT_EQ(socket.openAfterHandler, 1);
        EXPECT_FALSE(IsOpenSocket(fd));
        sentinel = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(sentinel, fd);
    }
    EXPECT_NE(fcntl(sentinel, F_GETFD), -1) << "the connection closed its number twice";
    close(sentinel);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(StreamNetns, UnresolvableNameIsHostNotFound) {
    // No route out of this namespace: the lookup fails without a packet.
    CTcpSocket socket;
    EXPECT_EQ(socket.Connect("no-such-host.invalid", 80), -2);
    EXPECT_EQ(socket.LastErrorText(), " ホストが見つかりませんでした [no-such-host.invalid]");
}

}  // namespace
