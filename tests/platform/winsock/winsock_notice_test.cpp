// The socket stand-in's notices: what holds is told once, and a notice the window's queue cannot take
// is told at a later poll instead of being lost.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "platform/window/window.h"
#include "platform/winsock/winsock.h"

namespace {

const uint32_t kNotice = 0x505;
const uint8_t kLoopback[4] = {127, 0, 0, 1};

// A plain loopback socket bound to a free port, listening or not; its fd, and the port in *port.
int BoundPeer(int listening, int *port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof in;
    if (bind(fd, (sockaddr *)&in, sizeof in) != 0 || getsockname(fd, (sockaddr *)&in, &length) != 0) return -1;
    if (listening && listen(fd, 4) != 0) return -1;
    *port = ntohs(in.sin_port);
    return fd;
}

class WsNotices : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(WInitSubsystem(), 0);
        WRegisterClass("WsNoticeTest", WDefWindowProc);
        window = WCreateWindow("WsNoticeTest", "", 1, 1, W_STYLE_HIDDEN);
        ASSERT_NE(window, (WHandle)0);
        WsStartup();
    }
    void TearDown() override
    {
        WsCleanup();
        EXPECT_EQ(WsGetOpenSocketCount(), 0);
        for (int fd : fds) close(fd);
        WDestroyWindow(window);
        WUnregisterClass("WsNoticeTest");
        WQuitSubsystem();
    }
    // Fills the window's queue with other messages; how many it took.
    int FillQueue()
    {
        int count = 0;
        while (WPostMessage(window, 0x400, 0, 0)) count++;
        return count;
    }
    // Empties the queue; the socket notices found, as their lParam words.
    std::vector<intptr_t> TakeNotices(WsSocket s)
    {
        std::vector<intptr_t> words;
        WMessage m;
        while (WPeekMessage(&m, window, 1)) {
            if (m.message == kNotice && m.wParam == s) words.push_back(m.lParam);
        }
        return words;
    }
    WHandle window = 0;
    std::vector<int> fds;
};

struct NoticeCase {
    const char *name;
    uint32_t event;
    int error;
};

// Our socket connected to a plain peer (or refused by one that does not listen), registered for the
// case's event only, with that event holding and nothing told yet.
WsSocket MakeEventHold(const NoticeCase &c, WHandle window, std::vector<int> *fds)
{
    int port = 0;
    int peer = BoundPeer(c.error == 0, &port);
    if (peer < 0) return WS_INVALID_SOCKET;
    fds->push_back(peer);
    WsSocket s = WsCreateSocket();
    WsSockAddrIn address = WsMakeAddress(kLoopback, port);
    if (WsAsyncSelect(s, window, kNotice, c.event) != 0) return WS_INVALID_SOCKET;
    WsConnect(s, &address);
    if (!WsWaitSocket(s, 1, 5000000)) return WS_INVALID_SOCKET;
    if (c.event == WS_FD_CONNECT) return s;
    WsPollEvents();  // the connect, not asked for: nothing is posted
    int accepted = accept(peer, nullptr, nullptr);
    if (accepted < 0) return WS_INVALID_SOCKET;
    if (c.event == WS_FD_READ) {
        fds->push_back(accepted);
        if (write(accepted, "x", 1) != 1) return WS_INVALID_SOCKET;
    } else {
        close(accepted);  // an orderly close
    }
    return WsWaitSocket(s, 0, 5000000) ? s : WS_INVALID_SOCKET;
}

TEST_F(WsNotices, ANoticeTheQueueCannotTakeIsToldAtTheNextPoll)
{
    const NoticeCase cases[] = {
        {"read", WS_FD_READ, 0},
        {"orderly close", WS_FD_CLOSE, 0},
        {"connect", WS_FD_CONNECT, 0},
        {"refused connect", WS_FD_CONNECT, WS_WSAECONNREFUSED},
    };
    for (const NoticeCase &c : cases) {
        SCOPED_TRACE(c.name);
        WsSocket s = MakeEventHold(c, window, &fds);
        ASSERT_NE(s, WS_INVALID_SOCKET);
        ASSERT_GT(FillQueue(), 0);
        EXPECT_EQ(WsPollEvents(), 0);
        EXPECT_TRUE(TakeNotices(s).empty());
        EXPECT_EQ(WsPollEvents(), 1);
        std::vector<intptr_t> words = TakeNotices(s);
        ASSERT_EQ(words.size(), 1u);
        EXPECT_EQ(words[0], (intptr_t)(c.event | ((uint32_t)c.error << 16)));
        // Told once: nothing more until it is armed again.
        EXPECT_EQ(WsPollEvents(), 0);
        WsCloseSocket(s);
    }
}

// A reset behind data whose read notice is told but not yet answered: the close waits for the receive
// that takes the data, and then carries the reset, also when a send met the reset first (the system
// tells a reset once).
TEST_F(WsNotices, AResetIsToldOnlyOnceTheDataBeforeItIsTaken)
{
    for (int sendFirst = 0; sendFirst < 2; sendFirst++) {
        SCOPED_TRACE(sendFirst ? "a send meets the reset" : "no send");
        WsSocket s = MakeEventHold({"read", WS_FD_READ, 0}, window, &fds);
        ASSERT_NE(s, WS_INVALID_SOCKET);
        ASSERT_EQ(WsAsyncSelect(s, window, kNotice, WS_FD_READ | WS_FD_CLOSE), 0);
        EXPECT_EQ(WsPollEvents(), 1);
        EXPECT_EQ(TakeNotices(s), std::vector<intptr_t>{WS_FD_READ});
        linger abort{1, 0};
        ASSERT_EQ(setsockopt(fds.back(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
        close(fds.back());  // over loopback the reset has arrived when close returns
        fds.pop_back();
        EXPECT_EQ(WsPollEvents(), 0);
        char byte = 0;
        if (sendFirst) {
            EXPECT_EQ(WsSend(s, &byte, 1, 0), WS_SOCKET_ERROR);
            EXPECT_EQ(WsGetLastError(), WS_WSAECONNRESET);
        }
        EXPECT_EQ(WsRecv(s, &byte, 1, 0), 1);
        EXPECT_EQ(WsPollEvents(), 1);
        EXPECT_EQ(TakeNotices(s), std::vector<intptr_t>{WS_FD_CLOSE | (WS_WSAECONNRESET << 16)});
        WsCloseSocket(s);
    }
}

}  // namespace
