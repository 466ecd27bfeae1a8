#include "net/TcpSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/LoopbackServer.h"

namespace {

const char kLineDisconnected[] = "回線は切断されています。";
const char kSendFailed[] = "データ送信に失敗しました。";

// Bytes that differ from their neighbours, so a misplaced copy shows.
std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    }
    return s;
}

// Polls, waiting for the socket between polls, until `available` bytes are
// pending (or the time is up). Returns the last Available().
int WaitForPending(CTcpSocket& socket, int available, int timeoutMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int now = socket.Available();
    while (now >= 0 && now < available && std::chrono::steady_clock::now() < end) {
        socket.WaitForData(50);
        now = socket.Available();
    }
    return now;
}

TEST(TcpSocket, SendsTheWholeBlockAndTheTextExactly) {
    LoopbackServer server;
    ASSERT_TRUE(server.Listening());
    CTcpSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    EXPECT_EQ(socket.LastErrorText(), "");
    // Far more than one send() takes on loopback, so short counts happen.
    const std::string block = Pattern(8 * 1024 * 1024);
    ASSERT_EQ(socket.Send(block.data(), static_cast<int>(block.size())), 0);
    ASSERT_EQ(socket.SendText("tail"), 0);
    ASSERT_TRUE(server.WaitForReceived(block.size() + 4, 10000));
    EXPECT_TRUE(server.Received() == block + "tail");
    EXPECT_EQ(socket.Send("", 0), 0);
}

TEST(TcpSocket, PeerClosingAfter100BytesLeavesThemReadableAndRefusesSend) {
    LoopbackServer::Behaviour b;
    b.sendOnAccept = Pattern(100);
    b.closeAfterSending = true;
    LoopbackServer server(b);
    CTcpSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    for (int i = 0; i < 100 && socket.IsClosed() == 0; ++i) {
        socket.WaitForData(50);
    }
    ASSERT_EQ(socket.IsClosed(), 1);
    EXPECT_EQ(socket.Poll(), 0);  // the poll that sees the close is no failure
    EXPECT_EQ(socket.Available(), 100);
    char taken[128];
    EXPECT_EQ(socket.Read(taken, sizeof taken), 100);
    EXPECT_EQ(std::string(taken, 100), Pattern(100));
    EXPECT_EQ(socket.WaitForData(1000), 1);  // nothing more will come: no wait

    EXPECT_EQ(socket.SendText("GET / HTTP/1.0\r\n\r\n"), -1);
    EXPECT_EQ(socket.LastErrorText(), kLineDisconnected);
    EXPECT_EQ(socket.Available(), -1);
    EXPECT_EQ(socket.IsClosed(), 1);
}

TEST(TcpSocket, FullBufferHoldsAt32767UntilBytesAreTaken) {
    const std::string sent = Pattern(40000);
    LoopbackServer::Behaviour b;
    b.sendOnAccept = sent;
    LoopbackServer server(b);
    CTcpSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    ASSERT_EQ(WaitForPending(socket, 32767), 32767);
    EXPECT_EQ(socket.Poll(), 0);
    EXPECT_EQ(socket.Available(), 32767);
    EXPECT_EQ(socket.WaitForData(1000), 1);  // full: the caller must take first
    char first[3];
    EXPECT_EQ(socket.PeekBytes(first, 3), 3);
    EXPECT_EQ(std::string(first, 3), sent.substr(0, 3));

    // A read takes what is buffered, then the rest comes in.
    std::string got(40000, '\0');
    EXPECT_EQ(socket.Read(got.data(), 40000), 32767);
    ASSERT_EQ(WaitForPending(socket, 40000 - 32767), 40000 - 32767);
    EXPECT_EQ(socket.Read(got.data() + 32767, 40000), 40000 - 32767);
    EXPECT_TRUE(got == sent);
}

TEST(TcpSocket, ReadTakesAtMostItsCapacityAndLeavesTheRest) {
    const std::string sent("abc\0defghijklmnopqrstuvwxyz", 27);
    LoopbackServer::Behaviour b;
    b.sendOnAccept = sent;
    LoopbackServer server(b);
    CTcpSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    ASSERT_EQ(WaitForPending(socket, 27), 27);
    // A capacity of 10 takes ten and leaves the rest, from the eleventh; a
    // zero byte is a byte like any other.
    char raw[32];
    EXPECT_EQ(socket.Read(raw, 2), 2);
    EXPECT_EQ(socket.Read(raw, 10), 10);
    EXPECT_EQ(std::string(raw, 10), sent.substr(2, 10));
    EXPECT_EQ(socket.Available(), 15);
    EXPECT_EQ(socket.PeekBytes(raw, sizeof raw), 15);
    EXPECT_EQ(std::string(raw, 15), sent.substr(12));
    EXPECT_EQ(socket.Read(raw, -3), 0);  // a negative capacity takes nothing
    EXPECT_EQ(socket.Read(raw, sizeof raw), 15);
    EXPECT_EQ(std::string(raw, 15), sent.substr(12));
    EXPECT_EQ(socket.Available(), 0);
}

TEST(TcpSocket, NeverConnected) {
    CTcpSocket socket;
    EXPECT_EQ(socket.Available(), 0);
    EXPECT_EQ(socket.IsClosed(), 0);
    EXPECT_EQ(socket.SendText("x"), -1);
    EXPECT_EQ(socket.LastErrorText(), kSendFailed);
    // The failure closed the (never opened) connection: reads now fail.
    EXPECT_EQ(socket.IsClosed(), 0);
    char raw[16];
    EXPECT_EQ(socket.Read(raw, sizeof raw), 0);
}

TEST(TcpSocket, RefusedConnectionAndReconnect) {
    std::uint16_t deadPort;
    {
        LoopbackServer gone;
        deadPort = gone.Port();
    }
    CTcpSocket socket;
    EXPECT_EQ(socket.Connect("127.0.0.1", deadPort), -2);
    EXPECT_EQ(socket.LastErrorText(),
              " ホストに接続できませんでした。 [127.0.0.1:" + std::to_string(deadPort) + "]");
    EXPECT_EQ(socket.Available(), -1);

    // The same object connects again; a second Connect drops the first line.
    LoopbackServer first, second;
    ASSERT_EQ(socket.Connect("127.0.0.1", first.Port()), 0);
    ASSERT_EQ(socket.SendText("one"), 0);
    ASSERT_EQ(socket.Connect("127.0.0.1", second.Port()), 0);
    ASSERT_EQ(socket.SendText("two"), 0);
    EXPECT_TRUE(first.WaitForPeerClosed(1, 3000));
    EXPECT_EQ(first.Received(), "one");
    ASSERT_TRUE(second.WaitForReceived(3, 3000));
    EXPECT_EQ(second.Received(), "two");
    EXPECT_EQ(second.Accepted(), 1);
}

TEST(TcpSocket, SendToAPeerThatStopsReadingIsCutAtTheDeadline) {
    LoopbackServer::Behaviour b;
    b.readNothing = true;
    b.receiveBufferBytes = 4096;
    LoopbackServer server(b);
    CTcpSocket socket;
    socket.SetTimeout(300);
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    const std::string block = Pattern(32 * 1024 * 1024);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.Send(block.data(), static_cast<int>(block.size())), -1);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    EXPECT_EQ(socket.LastErrorText(), kSendFailed);
    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 5000);
    EXPECT_EQ(socket.TimedOut(), 1);
    EXPECT_EQ(socket.Available(), -1);
    EXPECT_EQ(socket.LastErrorText(), kLineDisconnected);
}

TEST(TcpSocket, TimeoutHandlerReentersTheWatchdogAndCutsTheLine) {
    LoopbackServer server;
    CTcpSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", server.Port()), 0);
    // A guarded call that is never made: the watchdog fires on an idle line,
    // and OnTimeout's Close goes back into the watchdog's lock.
    socket.BeginTimedOperation(200);
    // Only the mark is looked at meanwhile: the handler owns the fields now.
    for (int i = 0; i < 300 && socket.TimedOut() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(socket.TimedOut(), 1);
    socket.EndTimedOperation();  // waits for a handler still running
    EXPECT_EQ(socket.LastErrorText(), "タイムアウトしました");
    for (const TimeoutEntry& e : GetTimeoutWatchdog().Registrations()) {
        EXPECT_NE(e.client, &socket);
    }
    // The line is gone either way (shut down, or closed by the watchdog).
    EXPECT_EQ(socket.SendText("late"), -1);
    EXPECT_EQ(socket.Available(), -1);
}

}  // namespace
