// Framed and raw connections against a Python peer on loopback: fragmented and coalesced messages,
// partial headers both ways, refusals, losses, the hostile cases and the end.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/network_internal.h"
#include "platform/kernel/kernel.h"
#include "tests/network/net_fixture.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/test_hooks.h"

namespace {

class Connection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        ASSERT_EQ(OpenLogFile(GetFreshTempDir()), 0);
        ASSERT_EQ(StartNetWork(), 0);
        blocks = GetTrackedBlockCount();
    }
    void TearDown() override
    {
        StopPeer(&peer);
        ShutDownNetWork();
        NetTestSetReceiveBudget(0);
        EXPECT_EQ(WsGetOpenSocketCount(), 0);
        EXPECT_EQ(GetTrackedBlockCount(), blocks - 0);
        CloseLogFile();
        LeaveFreshTempDir();
    }
    // Listens, starts the peer connecting to us and returns the accepted connection's handle.
    int AcceptPeer()
    {
        std::vector<int> h = AcceptPeers(&peer, 1);
        return h.empty() ? -1 : h[0];
    }
    NetWorkHandleRecord *Record(int handle) { return LookupNetWorkRecord(handle); }
    std::string Log() { return ReadTestFile("Log.txt"); }
    // Has the peer (to, or the fixture's) run the commands while the connections take nothing, so all
    // they send waits in their sockets. true when every command answered "ok".
    bool SendHeld(const std::vector<int> &handles, const std::vector<std::string> &commands,
                  PeerProcess *to = nullptr)
    {
        WsSocketLimits held{0, 0, 0, 1};
        for (int h : handles) WsSetSocketLimits(Record(h)->socket, &held);
        bool ok = true;
        for (const std::string &command : commands) ok = ok && PeerCommand(to ? to : &peer, command) == "ok";
        for (int h : handles) {
            WsSetSocketLimits(Record(h)->socket, nullptr);
            ok = ok && WsWaitSocket(Record(h)->socket, 0, 5000000) == 1;
        }
        return ok;
    }
    // Takes what comes in the natural order (pump, length, receive, state) until total bytes have come
    // or the connection is gone; what was taken.
    std::string TakeAll(int h, size_t total)
    {
        std::string taken;
        PumpUntil([&] {
            taken += TakeWaiting(h);
            return taken.size() >= total || GetNetWorkAcceptState(h) < 0;
        });
        return taken;
    }
    // Passes of a program that asks every connection for its length (and, with take, takes that much);
    // what came to each meanwhile: what it took and what more waits.
    std::vector<int> ReadEachPass(const std::vector<int> &h, int passes, bool take)
    {
        std::vector<int> came(h.size());
        for (size_t i = 0; i < h.size(); i++) came[i] = -Record(h[i])->completeBytes;
        for (int pass = 0; pass < passes; pass++) {
            PumpNetWorkMessages(1);
            for (size_t i = 0; i < h.size(); i++) {
                if (take) came[i] += (int)TakeWaiting(h[i]).size();
                else GetNetWorkDataLength(h[i]);
            }
        }
        for (size_t i = 0; i < h.size(); i++) came[i] += Record(h[i])->completeBytes;
        return came;
    }

    PeerProcess peer;
    int blocks = 0;
};

// A byte pattern the peer's "frame" command also makes.
std::string Pattern(int n, int seed)
{
    std::string cycle;
    for (int i = 0; i < 256; i++) cycle += (char)((seed + i * 7) & 0xFF);
    std::string bytes;
    bytes.reserve((size_t)n + 256);
    while ((int)bytes.size() < n) bytes += cycle;
    bytes.resize((size_t)n);
    return bytes;
}

TEST_F(Connection, FragmentedHeaderAndBodyCountOnlyCompleteMessages)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    // Header of an 8-byte message 2 + 2 bytes, then 3 data bytes, then 5.
    ASSERT_EQ(PeerCommand(&peer, "send 0800"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return r->headerCount == 2; }));
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
    ASSERT_EQ(PeerCommand(&peer, "send 0000"), "ok");
    ASSERT_EQ(PeerCommand(&peer, "send 414243"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return r->recvRing.dataSize == 3; }));
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
    ASSERT_EQ(PeerCommand(&peer, "send 4445464748"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 8; }));
    // A zero-length message between two others adds nothing and disturbs nothing.
    ASSERT_EQ(PeerCommand(&peer, "send 00000000020000005a5a"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 10; }));
    char out[16] = {};
    EXPECT_EQ(NetWorkRecv(h, out, 11), -1);
    ASSERT_EQ(NetWorkRecvToPeek(h, out, 10), 0);
    ASSERT_EQ(NetWorkRecv(h, out, 10), 0);
    EXPECT_EQ(std::string(out, 10), "ABCDEFGHZZ");
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
    EXPECT_EQ(NetWorkRecv(h, out, -1), -1);
    EXPECT_EQ(NetWorkRecvToPeek(h, out, -1), -1);
}

TEST_F(Connection, AHeaderOneByteAtATimeIsTakenWhole)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    const char *bytes[] = {"03", "00", "00", "00"};
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(PeerCommand(&peer, std::string("send ") + bytes[i]), "ok");
        ASSERT_TRUE(PumpUntil([&] { return r->headerCount == (i + 1) % 4; }));
    }
    EXPECT_EQ(r->bytesMissing, 3);
    ASSERT_EQ(PeerCommand(&peer, "send 313233"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 3; }));
}

TEST_F(Connection, SendsQueuedWhileBlockedTravelAsOneMessage)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    WsSocketLimits blocked{0, 0, 1, 0};
    WsSetSocketLimits(r->socket, &blocked);
    ASSERT_EQ(NetWorkSend(h, "hello", 5), 0);
    ASSERT_EQ(NetWorkSend(h, "network", 7), 0);
    EXPECT_EQ(r->sendRing.dataSize, 12);
    WsSetSocketLimits(r->socket, nullptr);
    EXPECT_EQ(PeerCommand(&peer, "readframe"), "ok 12 68656c6c6f6e6574776f726b");
}

TEST_F(Connection, AHeaderSentInPartIsFinishedByTheNextWriteNotice)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    WsSocketLimits oneByte{1, 0, 0, 0};
    WsSetSocketLimits(r->socket, &oneByte);
    ASSERT_EQ(NetWorkSend(h, "abc", 3), 0);
    EXPECT_EQ(r->unsentHeader, 3);
    WsSetSocketLimits(r->socket, nullptr);
    EXPECT_EQ(PeerCommand(&peer, "readframe"), "ok 3 616263");
    EXPECT_EQ(r->sendRing.dataSize, 0);
    EXPECT_EQ(r->outgoingLength, 0);
}

TEST_F(Connection, OutgoingConnectionAndLargeMessagesBothWays)
{
    ASSERT_EQ(StartPeer(&peer, {"python3", PeerScript("framed_peer.py"), "listen"}), 0);
    std::string line;
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    int port = atoi(line.c_str() + 5);
    int h = ConnectNetWork(kLoopback, port);
    ASSERT_GE(h, 0);
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkConnectState(h) == 1; }));
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    EXPECT_EQ(GetNetWorkAcceptState(h), 1);
    ASSERT_EQ(PeerCommand(&peer, "frame 300000 9"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 300000; }));
    std::string data(300000, 0);
    ASSERT_EQ(NetWorkRecv(h, data.data(), 300000), 0);
    EXPECT_EQ(data, Pattern(300000, 9));
    ASSERT_EQ(NetWorkSend(h, data.data(), 300000), 0);
    std::string reply = PeerCommand(&peer, "readframe");
    EXPECT_EQ(reply.substr(0, 10), "ok 300000 ");
    EXPECT_EQ(reply.size(), 10u + 600000u);
}

TEST_F(Connection, RefusedHandlesAndRefusedRecords)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    int slot = h & 0xFFFF;
    const int refused[] = {-1, h & ~(1 << 27), (h & ~0xFFFF) | 4097, (h & ~0xFFFF) | 77, h ^ (1 << 16)};
    char buffer[8];
    for (int bad : refused) {
        EXPECT_EQ(NetWorkSend(bad, "x", 1), -1) << bad;
        EXPECT_EQ(NetWorkRecv(bad, buffer, 1), -1);
        EXPECT_EQ(NetWorkRecvToPeek(bad, buffer, 1), -1);
        EXPECT_EQ(GetNetWorkDataLength(bad), -1);
        EXPECT_EQ(GetNetWorkAcceptState(bad), -1);
        EXPECT_EQ(ReleaseNetWorkHandle(bad), -1);
    }
    EXPECT_EQ(Log().find("in NetWorkSend"), std::string::npos);
    NetWorkHandleRecord *r = gNetWork.table[slot];
    struct Case { int used, error; const char *line; };
    const Case cases[] = {
        {0, 0, "有効なネットワークハンドルではありません in NetWorkSend\r\n"},
        {1, 1, "このネットワークハンドルにはエラーが発生しています in NetWorkSend\r\n"},
        {0, 0, "有効なネットワークハンドルではありません in GetNetWorkAcceptState\r\n"},
        {1, 1, "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\r\n"},
        {0, 0, "有効なネットワークハンドルではありません in NetWorkRecv\r\n"},
        {1, 1, "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\r\n"},
    };
    for (const Case &c : cases) {
        r->used = c.used;
        r->error = c.error;
        std::string line = c.line;
        if (line.find("NetWorkSend") != std::string::npos) EXPECT_EQ(NetWorkSend(h, "x", 1), -1);
        else if (line.find("Accept") != std::string::npos) EXPECT_EQ(GetNetWorkAcceptState(h), -1);
        else if (line.find("Peek") != std::string::npos) EXPECT_EQ(NetWorkRecvToPeek(h, buffer, 1), -1);
        else EXPECT_EQ(NetWorkRecv(h, buffer, 1), -1);
        EXPECT_NE(Log().find(line), std::string::npos) << line;
    }
    r->used = 1;
    r->error = 0;
    // Not connected: refused without a line.
    r->connected = 0;
    EXPECT_EQ(NetWorkSend(h, "x", 1), -1);
    r->connected = 1;
}

// A lost connection keeps its unread data for a program that reads, even when auto-released, but not
// for one that has stopped: data left untouched for 2 s since the loss was noticed, or since the program
// last took some, goes with a line telling how much. A kept connection stays until it is released.
TEST_F(Connection, LossIsNoticedThenReleasedUnlessKept)
{
    for (int keep = 0; keep < 2; keep++) {
        SetNetWorkKeepLostOption(keep);
        int h = AcceptPeer();
        ASSERT_GE(h, 0);
        ASSERT_EQ(PeerCommand(&peer, "frame 10 1"), "ok");
        ASSERT_EQ(PeerCommand(&peer, "close"), "ok");
        StopPeer(&peer);
        ASSERT_TRUE(PumpUntil([&] { return !Record(h) || !Record(h)->connected; }));
        InstallSteppedClock(1000000);
        EXPECT_EQ(GetNetWorkAcceptState(h), 0);
        AdvanceSteppedClock(1999 * 1000);
        PumpNetWorkMessages(1);
        ASSERT_NE(Record(h), nullptr);
        EXPECT_EQ(GetNetWorkDataLength(h), 10);
        char out[4];
        ASSERT_EQ(NetWorkRecv(h, out, 4), 0);
        EXPECT_EQ(std::string(out, 4), Pattern(4, 1));
        AdvanceSteppedClock(1999 * 1000);
        PumpNetWorkMessages(1);
        ASSERT_NE(Record(h), nullptr);
        AdvanceSteppedClock(1000);
        PumpNetWorkMessages(1);
        RemoveSteppedClock();
        EXPECT_EQ(CountLogLines("切断された接続の受信データ 6 byte が 2000 ミリ秒の間読まれなかったので破棄しました in PumpNetWorkMessages"), 1);
        if (!keep) {
            EXPECT_EQ(GetNetWorkAcceptState(h), -1);
            continue;
        }
        EXPECT_EQ(NetWorkSend(h, "x", 1), -1);
        EXPECT_EQ(ReleaseNetWorkHandle(h), 0);
        EXPECT_EQ(GetNetWorkAcceptState(h), -1);
    }
}

TEST_F(Connection, ResetAndCloseMidHeaderAreNoticed)
{
    const char *endings[] = {"reset", "close"};
    for (const char *ending : endings) {
        int h = AcceptPeer();
        ASSERT_GE(h, 0);
        ASSERT_EQ(PeerCommand(&peer, "send 0500"), "ok");  // half a header, then the end
        ASSERT_TRUE(PumpUntil([&] { return Record(h)->headerCount == 2; }));
        ASSERT_EQ(PeerCommand(&peer, ending), "ok");
        StopPeer(&peer);
        ASSERT_TRUE(PumpUntil([&] { return Record(h)->connected == 0; })) << ending;
        EXPECT_EQ(Record(h)->closeError, std::string(ending) == "reset" ? WS_WSAECONNRESET : 0);
        EXPECT_EQ(GetNetWorkAcceptState(h), 0);
        PumpNetWorkMessages(1);
        EXPECT_EQ(GetNetWorkAcceptState(h), -1);
    }
}

TEST_F(Connection, HostileLengthsAreRefusedAndOthersGoOn)
{
    ASSERT_EQ(SetNetWorkMaxMessageSize(1000), 0);
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    PeerProcess first = peer;
    peer = PeerProcess{};
    int other = AcceptPeer();
    ASSERT_GE(other, 0);
    ASSERT_EQ(PeerCommand(&first, "send ffffffff"), "ok");  // 4 GiB claimed: nothing reserved
    ASSERT_TRUE(PumpUntil([&] { return !Record(h); }));
    EXPECT_NE(Log().find("受信メッセージのサイズ 4294967295 byte が上限を超えています in RecvSocket"), std::string::npos);
    // Sending past the limit is refused too, and what was queued stays.
    EXPECT_EQ(NetWorkSend(other, std::string(1001, 'x').data(), 1001), -1);
    EXPECT_EQ(NetWorkSend(other, "ok", 2), 0);
    EXPECT_EQ(NetWorkSend(other, "x", -5), -1);
    EXPECT_EQ(PeerCommand(&peer, "readframe"), "ok 2 6f6b");
    ASSERT_EQ(PeerCommand(&peer, "frame 1000 3"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(other) == 1000; }));
    StopPeer(&first);
}

// A peer that sends faster than the messages are taken cannot hold one receive run: it stops at its
// byte budget or its count of messages (empty ones too), and the next read notice goes on, nothing lost.
// The clock stands still, so the pass's time cannot end the run first; a call's own receive takes from
// the same pass.
TEST_F(Connection, OneReceiveRunTakesABoundedShare)
{
    struct Case { int budget; const char *empties; int most; };
    const Case cases[] = {{1000, "frames 1 0", 200}, {0, "frames 1 0", NETWORK_RECV_MESSAGES_PER_PASS},
                          {0, "frames 20000 0", 0}};
    for (const Case &c : cases) {
        int h = AcceptPeer();
        ASSERT_GE(h, 0);
        NetTestSetReceiveBudget(c.budget);
        ASSERT_TRUE(SendHeld({h}, {c.empties, "frames 5000 1"}));
        InstallSteppedClock(1000000);
        PumpNetWorkMessages(1);
        RecvSocket(h);
        RemoveSteppedClock();
        EXPECT_LE(Record(h)->completeBytes, c.most) << c.empties;
        EXPECT_EQ(TakeAll(h, 5000), std::string(5000, 0));
        StopPeer(&peer);
    }
}

// Fifty peers flooding small messages and a program that reads every peer once a pass: whatever the
// number of peers, a pass takes one budget (the clock stands still, so its bytes end it; the calls
// within it start no other), and each pass begins where the last one stopped, so none waits long.
TEST_F(Connection, OnePassTakesOneBudgetWhateverTheNumberOfPeers)
{
    const int peers = 50, messages = 2000, budget = 2000;  // a 1-byte message is 5 bytes of a pass
    std::vector<int> h = AcceptPeers(&peer, peers);
    ASSERT_EQ((int)h.size(), peers);
    ASSERT_TRUE(SendHeld(h, {"frames 2000 1"}));
    NetTestSetReceiveBudget(budget);
    InstallSteppedClock(1000000);
    std::vector<int> first(peers, -1);
    int most = 0, total = 0;
    for (int pass = 0; pass < 4 * peers * messages * 5 / budget && total < peers * messages; pass++) {
        std::vector<int> came = ReadEachPass(h, 1, true);
        for (int i = 0; i < peers; i++) first[i] = first[i] < 0 && came[i] > 0 ? pass : first[i];
        int taken = std::accumulate(came.begin(), came.end(), 0);
        most = std::max(most, taken);
        total += taken;
    }
    RemoveSteppedClock();
    EXPECT_EQ(total, peers * messages);
    EXPECT_LE(most, budget / 4);
    EXPECT_LE(*std::max_element(first.begin(), first.end()), peers);
}

// Two flooding peers and a program that reads both once a pass: each takes its share again though the
// other could spend every pass's budget before the program's calls come. Held at its queue limit, a
// connection has used up its read notice without the receive that asks for the next one, and must have
// its turn once the program makes room (by taking data or raising the limit); and a pass's time may run
// out at any look at the clock, also between a connection's turn coming and its receive beginning.
TEST_F(Connection, NoConnectionIsLeftBehindBesideAFloodingPeer)
{
    const int passes = 50, budget = 2000;
    std::vector<int> h = AcceptPeers(&peer, 2);
    ASSERT_EQ(h.size(), 2u);
    NetTestSetReceiveBudget(budget);
    ASSERT_EQ(PeerCommand(&peer, "flood 1"), "ok");
    struct Case { int held, raise, cut; };
    std::vector<Case> cases = {{1, 0, 0}, {1, 1, 0}};  // raise 0: the program takes what waits each pass
    for (int cut = 1; cut <= 8; cut++) cases.push_back({0, 0, cut});
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "held " << c.held << " raise " << c.raise << " cut " << c.cut);
        const int limit = c.held ? 500 : 1;
        ASSERT_EQ(SetNetWorkRecvQueueLimit(c.held ? limit : NETWORK_DEFAULT_RECV_QUEUE), 0);
        ReadEachPass(h, 1, true);
        ASSERT_TRUE(PumpUntil([&] { return Record(h[0])->completeBytes >= limit && Record(h[1])->completeBytes >= limit; }));
        TestClock clock{.cut = c.cut};  // stands still but for a jump of a second
        InstallTestClock(&clock);
        ReadEachPass(h, 3, false);  // the last notices come at the limit, or a pass is cut short
        if (c.raise) {
            ASSERT_EQ(SetNetWorkRecvQueueLimit(NETWORK_DEFAULT_RECV_QUEUE), 0);
        }
        std::vector<int> came = ReadEachPass(h, passes, !c.raise);
        KSetClockSource(nullptr);
        // A 1-byte message is 5 bytes of a pass: about budget / 5 bytes a pass between the two.
        EXPECT_GE(std::min(came[0], came[1]), passes * budget / 5 / 4);
    }
    StopPeer(&peer);
    for (int handle : h) ReleaseNetWorkHandle(handle);
    EXPECT_EQ(gNetWork.pendingReads, 0);  // the released records' notices go with them
}

// A message's whole length is reserved when its header arrives: the body goes straight into the ring,
// which never grows again under it.
TEST_F(Connection, ABigMessageIsReservedOnceAndArrivesWhole)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    const int size = 64 * 1024 * 1024;
    ASSERT_EQ(PeerCommand(&peer, "framehead " + std::to_string(size) + " 3 4"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return r->recvRing.dataSize == 4; }));
    EXPECT_GE(r->recvRing.bufferSize, size);
    uint8_t *storage = r->recvRing.data;
    int64_t start = NowMs();
    ASSERT_EQ(PeerCommand(&peer, "framerest"), "ok");
    EXPECT_TRUE(TakeAll(h, size) == Pattern(size, 3));
    printf("64 MiB message: %lld ms\n", (long long)(NowMs() - start));
    EXPECT_EQ(r->recvRing.data, storage);
}

// Long messages held in the socket, one receive with a pass's time (a still clock): a header, then one
// move that reads the headers behind it in place and puts every body where it belongs, across the
// ring's end and short messages too; with little time left, only what that time is worth; without a
// look ahead, a receive per header and body piece. A receive that comes short within a long message
// (receives limited, as a peer held by the window gives) waits for more rather than ending there.
TEST_F(Connection, HeldLongMessagesAreTakenInOneMoveAndAStreamIsFollowed)
{
    struct Case { int maxRecv, time, refused, receives; std::vector<std::pair<int, int>> frames; };  // size, seed
    const std::vector<std::pair<int, int>> mixed = {{65536, 1}, {0, 2}, {3, 3}, {70000, 4}};
    const int apart = 8;  // without a look ahead: each header, each body that has bytes, one across the end in two
    const Case cases[] = {{0, NETWORK_PASS_MICROSECONDS, 0, 2, mixed}, {0, 10, 0, 4, mixed},
                          {0, NETWORK_PASS_MICROSECONDS, 1, apart, mixed},
                          {66000, NETWORK_PASS_MICROSECONDS, 0, 0, {{80000, 5}, {80000, 6}}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "limit " << c.maxRecv << " time " << c.time << " refused " << c.refused);
        int h = AcceptPeer();
        ASSERT_GE(h, 0);
        WsSocket socket = Record(h)->socket;
        int bytes = 1 << 20;  // room for every held message, as far as the system allows
        ASSERT_EQ(WsSetSockOpt(socket, WS_SOL_SOCKET, WS_SO_RCVBUF, &bytes, (int)sizeof bytes), 0);
        ASSERT_EQ(PeerCommand(&peer, "frame 150000 9"), "ok");  // leaves the ring's positions near its end
        ASSERT_TRUE(TakeAll(h, 150000) == Pattern(150000, 9));
        // Older kernels cannot look ahead in a TCP socket at all.
        char byte;
        int systemLooks = WsPeekAhead(socket, 0, &byte, 0) == 0 || WsGetLastError() != WS_WSAEOPNOTSUPP;
        std::vector<std::string> commands;
        std::string expected;
        for (auto [size, seed] : c.frames) {
            commands.push_back("frame " + std::to_string(size) + " " + std::to_string(seed));
            expected += Pattern(size, seed);
        }
        ASSERT_TRUE(SendHeld({h}, commands));
        WsSocketLimits limits{0, c.maxRecv, 0, 0};
        WsSetSocketLimits(socket, &limits);
        NetTestRefusePeekAhead(c.refused);
        NetTestWatchReceives(socket);
        const int64_t now = 1000000;
        InstallSteppedClock(now);
        gNetWork.passEnded = now;  // the receive begins no pass of its own
        gNetWork.pass = NetWorkBudget{now + c.time, NETWORK_RECV_BYTES_PER_PASS, NETWORK_RECV_MESSAGES_PER_PASS, 0};
        RecvSocket(h);
        RemoveSteppedClock();
        NetTestRefusePeekAhead(0);
        EXPECT_EQ(Record(h)->completeBytes, (int)expected.size());
        if (c.receives) {
            EXPECT_EQ(NetTestWatchedReceives(), systemLooks ? c.receives : apart);
        }
        EXPECT_TRUE(TakeAll(h, expected.size()) == expected);
        StopPeer(&peer);
    }
}

// A program that does not read holds the peer back through TCP's window, not through our memory.
TEST_F(Connection, AnUnreadRingStopsTakingMessagesAtItsLimit)
{
    ASSERT_EQ(SetNetWorkRecvQueueLimit(100000), 0);
    EXPECT_EQ(SetNetWorkRecvQueueLimit(0), -1);
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetWorkHandleRecord *r = Record(h);
    ASSERT_EQ(PeerCommand(&peer, "frames 300 1000"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return r->recvRing.dataSize >= 100000; }));
    for (int run = 0; run < 20; run++) RecvSocket(h);
    EXPECT_LT(r->recvRing.dataSize, 100000 + 1000);
    EXPECT_EQ(TakeAll(h, 300000).size(), 300000u);
}

// A connection in error sends nothing more: releasing it costs one pump and no drain.
TEST_F(Connection, AConnectionInErrorIsReleasedWithoutDraining)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    std::string data(12 * 1024 * 1024, 'q');
    ASSERT_EQ(NetWorkSend(h, data.data(), (int)data.size()), 0);
    ASSERT_GT(Record(h)->sendRing.dataSize, 0);  // the peer reads nothing
    ASSERT_EQ(PeerCommand(&peer, "send ffffffff"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return !Record(h) || Record(h)->error == 1; }));
    PumpNetWorkMessages(1);
    EXPECT_EQ(Record(h), nullptr);
    EXPECT_LE(CountLogLines("このネットワークハンドルにはエラーが発生しています in SendSocket"), 1);
}

// A peer that half-closed but keeps reading gets everything queued for it when the connection goes.
TEST_F(Connection, AHalfClosedPeerGetsEveryQueuedByteAtTheRelease)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    const int size = 12 * 1024 * 1024;
    ASSERT_EQ(NetWorkSend(h, Pattern(size, 5).data(), size), 0);
    ASSERT_GT(Record(h)->sendRing.dataSize, 0);
    ASSERT_EQ(PeerCommand(&peer, "shutwr"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return Record(h)->connected == 0; }));
    EXPECT_EQ(GetNetWorkAcceptState(h), 0);
    ASSERT_EQ(write(peer.in, "checkframe 5\n", 13), 13);
    PumpNetWorkMessages(1);
    EXPECT_EQ(Record(h), nullptr);
    std::string line;
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    EXPECT_EQ(line, "ok " + std::to_string(size));
}

// A connection still connecting has not been lost: the state query leaves it, and the pump too.
TEST_F(Connection, AConnectingHandleSurvivesTheStateQuery)
{
    DroppingListener dropping;
    int port = StartDroppingListener(&dropping);
    ASSERT_GT(port, 0);
    int h = ConnectNetWork(kLoopback, port);
    ASSERT_GE(h, 0);
    EXPECT_EQ(GetNetWorkAcceptState(h), 0);
    PumpNetWorkMessages(1);
    EXPECT_EQ(GetNetWorkConnectState(h), 0);
    EXPECT_EQ(GetNetWorkAcceptState(h), 0);
    StopDroppingListener(&dropping);
}

// Pump, length, receive, state: the last receive may take in more after the length was counted; the
// connection stays until that is read too.
TEST_F(Connection, NothingIsLostAtACloseReadInTheNaturalOrder)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    NetTestSetReceiveBudget(4 + 1000);  // one message per receive run
    ASSERT_TRUE(SendHeld({h}, {"frames 6 1000", "close"}));
    EXPECT_EQ(TakeAll(h, 6000).size(), 6000u);
}

// Beside 20 flooding peers (a still clock: bytes end each pass), a light peer is served within two
// passes of its data coming, and what a peer sent before a reset, close or half-close reaches a
// reader: an end told early (as a socket layer may tell a reset) waits until the data is taken.
TEST_F(Connection, BesideFloodingPeersALightPeerIsServedAtOnceAndNothingSentBeforeAnEndIsLost)
{
    PeerProcess flooders;
    ASSERT_EQ(AcceptPeers(&flooders, 20).size(), 20u);
    ASSERT_EQ(PeerCommand(&flooders, "flood 1000"), "ok");
    NetTestSetReceiveBudget(20000);
    InstallSteppedClock(1000000);
    int light = AcceptPeer();
    ASSERT_GE(light, 0);
    for (int round = 0; round < 3; round++) {
        ASSERT_TRUE(SendHeld({light}, {"frame 8 1"}));
        int passes = 0;
        for (; passes < 100 && GetNetWorkDataLength(light) < 8; passes++) PumpNetWorkMessages(1);
        EXPECT_LE(passes, 2);
        ASSERT_EQ(TakeWaiting(light).size(), 8u);
    }
    StopPeer(&peer);
    struct Case { const char *ending; int toldEarly; };
    for (const Case &c : {Case{"reset", 0}, Case{"close", 0}, Case{"shutwr", 0}, Case{"reset", 1}}) {
        int h = AcceptPeer();
        ASSERT_GE(h, 0);
        ASSERT_TRUE(SendHeld({h}, {"frames 50 1000", "acked", c.ending})) << c.ending;
        if (c.toldEarly) HandleSocketEvent(WS_FD_CLOSE | (WS_WSAECONNRESET << 16), Record(h)->socket);
        EXPECT_EQ(TakeAll(h, 50000).size(), 50000u) << c.ending << c.toldEarly;
        StopPeer(&peer);
    }
    RemoveSteppedClock();
    StopPeer(&flooders);
}

// A raw connection's share of a pass is kept for its reader (the HTTP steps after the pump) when a
// framed connection with more than a pass can take follows it (a ticking clock ends that receive).
TEST_F(Connection, ARawConnectionsShareOfAPassIsKeptWhateverIsServedAfterIt)
{
    SetNetWorkRawOption(1);
    int raw = AcceptPeer();
    SetNetWorkRawOption(0);
    PeerProcess flooder;
    std::vector<int> framed = AcceptPeers(&flooder, 1);
    ASSERT_TRUE(raw >= 0 && framed.size() == 1);
    ASSERT_LT(raw & 0xFFFF, framed[0] & 0xFFFF);  // the raw connection is served first
    ASSERT_TRUE(SendHeld({raw}, {"send 41424344"}));
    ASSERT_TRUE(SendHeld(framed, {"frames 100 1000"}, &flooder));
    char byte;
    WsRecv(Record(raw)->socket, &byte, 1, WS_MSG_PEEK);  // its read notice is told again at the next poll
    gNetWork.readCursor = 0;
    TestClock clock{.tick = 50};
    InstallTestClock(&clock);
    PumpNetWorkMessages(1);
    int64_t left = GetNetWorkPassDeadline() - (int64_t)clock.now;
    KSetClockSource(nullptr);
    EXPECT_GT(Record(framed[0])->completeBytes, 0);
    EXPECT_GE(left, NETWORK_PASS_MICROSECONDS / 4);
    StopPeer(&flooder);
}

TEST_F(Connection, FullTableTurnsTheConnectionAwayAndKeepsListening)
{
    ASSERT_EQ(ListenNetWork(kLoopback, 0), 0);
    static NetWorkHandleRecord fake{};
    for (int i = 0; i < NETWORK_LISTEN_SLOT; i++) gNetWork.table[i] = &fake;
    std::string port = std::to_string(GetNetWorkListenPort());
    ASSERT_EQ(StartPeer(&peer, {"python3", PeerScript("framed_peer.py"), "connect", port}), 0);
    std::string line;
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    ASSERT_TRUE(PumpUntil([&] { return Log().find("空きソケットデータがなかったので accept を拒否しました \r\n") != std::string::npos; }));
    EXPECT_EQ(PeerCommand(&peer, "read 1").substr(0, 5), "error");  // turned away: closed at once
    for (int i = 0; i < NETWORK_LISTEN_SLOT; i++) {
        EXPECT_EQ(gNetWork.table[i], &fake);
        gNetWork.table[i] = nullptr;
    }
    StopPeer(&peer);
    gNetWork.checkCounter = 2047;
    int h = AcceptPeer();  // the listener still hears
    ASSERT_GE(h, 0);
    EXPECT_EQ(Record(h)->check, 2047);
    EXPECT_EQ(gNetWork.checkCounter, 0);
}

TEST_F(Connection, RawLinesHonourShiftJisAndTheirLimit)
{
    SetNetWorkRawOption(1);
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    char line[256];
    ASSERT_EQ(PeerCommand(&peer, "send " + std::string("4142434445464748494a4b4c4d4e4f0d0a7a")), "ok");
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 1; }));
    ASSERT_EQ(ReadNetWorkLine(h, line), 0);
    EXPECT_EQ(std::string(line), "ABCDEFGHIJKLMNO\r");
    char rest[4];
    EXPECT_EQ(NetWorkRecvToPeek(h, rest, 4), 1);  // only "z" is left
    EXPECT_EQ(ReadNetWorkLine(h, line), -1);
    // A lead byte right before the line feed takes it as its second half; 255 bytes without one.
    ASSERT_EQ(PeerCommand(&peer, "send 820a"), "ok");
    ASSERT_TRUE(PumpUntil([&] { return NetWorkRecvToPeek(h, rest, 4) == 3; }));
    EXPECT_EQ(ReadNetWorkLine(h, line), -1);
    std::string longLine;
    for (int i = 0; i < 300; i++) longLine += "41";
    ASSERT_EQ(PeerCommand(&peer, "send " + longLine + "0a"), "ok");
    char peekBuffer[400];
    ASSERT_TRUE(PumpUntil([&] { return NetWorkRecvToPeek(h, peekBuffer, 400) == 304; }));
    EXPECT_EQ(ReadNetWorkLine(h, line), -1);
    EXPECT_EQ(NetWorkRecvToPeek(h, peekBuffer, 400), 304);
}

TEST_F(Connection, ShutDownReleasesEverythingAndClosesTheWindow)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    WHandle window = gNetWork.window;
    ShutDownNetWork();
    EXPECT_FALSE(WIsWindow(window));
    EXPECT_EQ(gNetWork.initialised, 0);
    EXPECT_EQ(gNetWork.head.next, nullptr);
    EXPECT_EQ(WsGetOpenSocketCount(), 0);
    EXPECT_EQ(GetNetWorkAcceptState(h), -1);
    EXPECT_EQ(PeerCommand(&peer, "read 1").substr(0, 5), "error");
    std::string log = Log();
    size_t start = log.find("ネットワーク関連の終了処理を行います \r\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(log.find("ネットワーク関連の終了処理は完了しました\r\n", start), std::string::npos);
    EXPECT_EQ(HandleSocketEvent(WS_FD_READ, 12345), 0);
    EXPECT_NE(Log().find("通信エラー No.1\r\n"), std::string::npos);
}

TEST_F(Connection, EchoSoakUnderRandomFragmentation)
{
    int h = AcceptPeer();
    ASSERT_GE(h, 0);
    std::string command = "soak 60 4242 200000";
    std::string text = command + "\n";
    ASSERT_EQ(write(peer.in, text.data(), text.size()), (ssize_t)text.size());
    std::string reply;
    auto echo = [&] {
        std::string chunk = TakeWaiting(h);
        if (!chunk.empty()) NetWorkSend(h, chunk.data(), (int)chunk.size());
        size_t end = peer.pending.find('\n');
        return end != std::string::npos;
    };
    // The reply line arrives once the peer has checked everything; read it while echoing.
    ASSERT_TRUE(PumpUntil([&] {
        if (echo()) return true;
        pollfd p{peer.out, POLLIN, 0};
        char buffer[256];
        if (poll(&p, 1, 0) > 0) {
            ssize_t got = read(peer.out, buffer, sizeof buffer);
            if (got > 0) peer.pending.append(buffer, (size_t)got);
        }
        return false;
    }, 120000));
    ASSERT_TRUE(ReadPeerLine(&peer, &reply));
    EXPECT_EQ(reply.substr(0, 8), "ok soak ") << reply;
}

}  // namespace
