// HTTP transfers: the request bytes and the response handling against a scripted raw peer, and GET,
// POST and HEAD against real servers (Python's http.server, busybox httpd, nginx) on loopback.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/network/http_internal.h"
#include "lib/network/network_internal.h"
#include "tests/network/net_fixture.h"
#include "tests/support/stepped_clock.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/test_hooks.h"

namespace {

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
    return out;
}

void WriteFile(const std::string &path, const std::string &bytes, int mode = 0644)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    chmod(path.c_str(), (mode_t)mode);
}

std::string SomeBytes(int n)
{
    std::string bytes;
    uint32_t x = 2463534242u;
    for (int i = 0; i < n; i++) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        bytes += (char)(x & 0xFF);
    }
    return bytes;
}

class Http : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(EnterFreshTempDir(), 0);
        dir = GetFreshTempDir();
        ASSERT_EQ(OpenLogFile(dir.c_str()), 0);
        ASSERT_EQ(StartNetWork(), 0);
        blocks = GetTrackedBlockCount();
        gFixtureStepsHttp = true;
    }
    void TearDown() override
    {
        DeleteAllHttpHandles();
        FreeMemoryTracked(body);
        StopPeer(&peer);
        StopPeer(&server);
        EXPECT_EQ(GetTrackedBlockCount(), blocks);
        ShutDownNetWork();
        gFixtureStepsHttp = true;
        SetHttpMaxMemoryBody(64 * 1024 * 1024);
        NetTestSetHttpPiecesPerStep(0);
        gHttp.timeLimit = 0;
        CloseLogFile();
        LeaveFreshTempDir();
    }
    // Starts a scripted raw server; its port.
    int StartRawPeer()
    {
        std::string line;
        if (StartPeer(&peer, {"python3", PeerScript("framed_peer.py"), "listen"}) != 0) return -1;
        return ReadPeerLine(&peer, &line) ? atoi(line.c_str() + 5) : -1;
    }
    // Starts a server script that prints its port; the port.
    int StartServer(const std::vector<std::string> &argv)
    {
        std::string line;
        if (StartPeer(&server, argv) != 0 || !ReadPeerLine(&server, &line)) return -1;
        return atoi(line.c_str() + 5);
    }
    int Start(int kind, int port, const char *path, const char *file, const std::string &post = "")
    {
        HttpTransferStart start{kind, "127.0.0.1", port, path, post.data(), (int)post.size(), file,
                                file || kind == HTTP_HEAD ? nullptr : &body};
        return StartHttpTransfer(&start);
    }
    // A transfer against a fresh scripted server that has read the request head; the slot or -1.
    int StartWithPeer(int kind, const char *file = nullptr)
    {
        int port = StartRawPeer();
        int slot = port > 0 ? Start(kind, port, "/", file, "p") : -1;
        std::string line;
        if (slot < 0 || !ReadPeerLine(&peer, &line)) return -1;
        return PeerCommand(&peer, "readhead").substr(0, 3) == "ok " ? slot : -1;
    }
    // Runs the pump until the transfer has ended; its state and error.
    std::pair<int, int> Outcome(int slot)
    {
        int state = -1, error = -1;
        PumpUntil([&] { return GetHttpTransferState(slot, &state, &error, nullptr) != 0 || state != HTTP_RUNNING; });
        return {state, error};
    }
    // Ends a case of a test that runs several: the transfer, its body and its peer go.
    void EndCase(int slot)
    {
        DeleteHttpHandle(slot);
        FreeMemoryTracked(body);
        body = nullptr;
        StopPeer(&peer);
    }
    std::string Body(int slot)
    {
        int received = 0;
        GetHttpTransferState(slot, nullptr, nullptr, &received);
        return body ? std::string((const char *)body, (size_t)received) : "<null>";
    }

    std::string dir;
    PeerProcess peer, server;
    void *body = nullptr;
    int blocks = 0;
};

TEST_F(Http, RequestsGoOutCharacterForCharacter)
{
    struct Case { int kind; const char *path; std::string post, head; };
    for (const Case &c : {Case{HTTP_GET, "/a/b?c=1", "", "GET /a/b?c=1 HTTP/1.0\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n"},
                          Case{HTTP_POST, "/post", "x=1&y=2", "POST /post HTTP/1.0\nHost: 127.0.0.1:%d\nContent-Length: 7\n\n"},
                          Case{HTTP_HEAD, "/h", "", "HEAD /h HTTP/1.0\n\n"}}) {
        int port = StartRawPeer();
        ASSERT_GT(port, 0);
        int slot = Start(c.kind, port, c.path, nullptr, c.post);
        ASSERT_GE(slot, 0);
        WsSocketLimits threeBytes{3, 0, 0, 0};  // the request goes out in short sends, resumed each pass
        WsSetSocketLimits(LookupNetWorkRecord(gHttp.table[slot]->netHandle)->socket, &threeBytes);
        std::string line;
        ASSERT_TRUE(ReadPeerLine(&peer, &line));  // connected
        char head[256];
        snprintf(head, sizeof head, c.head.c_str(), port);
        EXPECT_EQ(PeerCommand(&peer, "readhead"), "ok " + Hex(head));
        if (!c.post.empty()) {
            EXPECT_EQ(PeerCommand(&peer, "read 7"), "ok " + Hex(c.post));
        }
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhi")), "ok");
        ASSERT_EQ(PeerCommand(&peer, "close"), "ok");
        EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
        if (c.kind == HTTP_HEAD) {
            EXPECT_EQ(gHttp.table[slot]->contentLength, 2);
        } else {
            EXPECT_EQ(Body(slot), "hi");
        }
        EndCase(slot);
    }
}

TEST_F(Http, StatusLinesOtherThan200EndTheTransfer)
{
    struct Case { int kind; const char *status; int error; const char *logged; };
    const Case cases[] = {
        {HTTP_GET, "HTTP/1.0 404 Not Found", 1, "接続に失敗しました (戻り値:404)"},
        {HTTP_GET, "HTTP/1.0 500 Internal Server Error", 0, "接続に失敗しました (戻り値:500)"},
        {HTTP_GET, "HTTP/1.0200OK", 0, "接続に失敗しました (戻り値:-1)"},
        {HTTP_POST, "HTTP/1.0 404 Not Found", 1, nullptr},
        {HTTP_HEAD, "HTTP/1.0 500 Internal Server Error", 0, nullptr},
    };
    for (const Case &c : cases) {
        int before = CountLogLines("接続に失敗しました");
        int slot = StartWithPeer(c.kind);
        ASSERT_GE(slot, 0);
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex(std::string(c.status) + "\r\n\r\n")), "ok");
        EXPECT_EQ(Outcome(slot), std::make_pair(2, c.error)) << c.status;
        EXPECT_EQ(CountLogLines("接続に失敗しました"), before + (c.logged ? 1 : 0));
        if (c.logged) {
            EXPECT_EQ(CountLogLines(c.logged), 1);
        }
        EXPECT_EQ(body, nullptr);
        EndCase(slot);
    }
}

// One call takes every line that has come, an over-long one dropped whole (not a few hundred bytes a
// step), and the body behind them, however long the transfer waited for the call: the head's time
// limit counts only the time the server took.
TEST_F(Http, OneCallTakesEveryLineThatHasCome)
{
    gFixtureStepsHttp = false;
    InstallSteppedClock(1000000);
    int port = StartRawPeer();
    int slot = Start(HTTP_GET, port, "/", nullptr);
    ASSERT_GE(slot, 0);
    HttpHandleRecord *record = gHttp.table[slot];
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkConnectState(record->netHandle) == 1; }));
    EXPECT_EQ(StepHttpHandle(slot), 0);  // sends the request, finds no line yet
    std::string line;
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    ASSERT_EQ(PeerCommand(&peer, "readhead").substr(0, 3), "ok ");
    std::string response = "HTTP/1.0 200 OK\r\nServer: x\r\nX-Junk: " + std::string(40000, 'j') +
                           "\r\nDate: y\r\nContent-Length: 4\r\nX-A: 1\r\nX-B: 2\r\n\r\nbody";
    ASSERT_EQ(PeerCommand(&peer, "send " + Hex(response)), "ok");
    static char peeked[50000];
    ASSERT_TRUE(PumpUntil([&] { return NetWorkRecvToPeek(record->netHandle, peeked, 50000) == (int)response.size(); }));
    AdvanceSteppedClock((HTTP_HEAD_MAX_MS + 1000) * 1000ull);
    EXPECT_EQ(StepHttpHandle(slot), 0);
    RemoveSteppedClock();
    EXPECT_EQ(record->contentLength, 4);
    EXPECT_EQ(record->state, HTTP_DONE);
    EXPECT_EQ(Body(slot), "body");
}

// A response head of 100 lines and nearly 64 KiB (over-long lines skipped count too) is taken whole;
// one more line, or a line that takes the head past 64 KiB, fails the transfer with error 2 and a line.
TEST_F(Http, AResponseHeadEndsWithinItsLimits)
{
    std::string longLines, shortLines;
    for (int i = 0; i < 3; i++) longLines += "X-Long: " + std::string(21000, 'v') + "\r\n";
    for (int i = 0; i < 94; i++) shortLines += "X-Line-" + std::to_string(i) + ": v\r\n";
    struct Case { std::string head; int state, error; const char *logged; };
    const Case cases[] = {
        {longLines + shortLines, 0, -1, nullptr},
        {longLines + shortLines + "X-One-More: v\r\n", 2, 2, "HTTP応答のヘッダが 100 行を超えたので打ち切りました in StepHttpHandle"},
        {"X-Junk: " + std::string(80000, 'j') + "\r\n", 2, 2, "HTTP応答のヘッダが 65536 バイトを超えたので打ち切りました in StepHttpHandle"},
    };
    for (const Case &c : cases) {
        std::string response = "HTTP/1.0 200 OK\r\n" + c.head + "Content-Length: 2\r\n\r\nok";
        int slot = StartWithPeer(HTTP_GET);
        ASSERT_GE(slot, 0);
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex(response)), "ok");
        EXPECT_EQ(Outcome(slot), std::make_pair(c.state, c.error)) << c.head.size();
        if (c.logged) {
            EXPECT_EQ(CountLogLines(c.logged), 1);
        }
        EndCase(slot);
    }
}

// Slow but steady: a piece every half second for longer than the time limits (2 s without a byte,
// 10 s for the head) completes as a body, and fails with error 2 as lines of a head that never ends.
TEST_F(Http, APieceEveryHalfSecondKeepsABodyButNotAHead)
{
    ASSERT_EQ(SetHttpTimeLimit(2000), 0);
    struct Case { std::string head, piece; int state, error; };
    const Case cases[] = {{"HTTP/1.0 200 OK\r\nContent-Length: 30\r\n\r\n", "x", 0, -1},
                          {"HTTP/1.0 200 OK\r\n", "X-Slow: 1\r\n", 2, 2}};
    for (const Case &c : cases) {
        InstallSteppedClock(1000000);
        int slot = StartWithPeer(HTTP_GET);
        ASSERT_GE(slot, 0);
        HttpHandleRecord *record = gHttp.table[slot];
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex(c.head)), "ok");
        for (int i = 0; i < 30 && record->state == HTTP_RUNNING; i++) {
            int64_t moved = record->headBytes + record->received;
            ASSERT_EQ(PeerCommand(&peer, "send " + Hex(c.piece)), "ok");
            PumpUntil([&] { return record->headBytes + record->received > moved || record->state != HTTP_RUNNING; });
            AdvanceSteppedClock(500 * 1000);
        }
        EXPECT_EQ(Outcome(slot), std::make_pair(c.state, c.error)) << c.piece;
        RemoveSteppedClock();
        EndCase(slot);
    }
    EXPECT_EQ(CountLogLines("HTTP応答のヘッダが 10000 ミリ秒の間に終わらなかったので打ち切りました in StepHttpHandle"), 1);
}

// Transfers with bodies waiting: one pass over them takes one budget (two pieces here) whatever their
// number, and each pass begins with the transfer the last one did not reach.
TEST_F(Http, OnePassOverTheTransfersTakesOneBudget)
{
    const int count = 3;
    PeerProcess peers[count];
    int slots[count];
    for (int i = 0; i < count; i++) {
        slots[i] = StartWithPeer(HTTP_GET, ("body" + std::to_string(i)).c_str());
        ASSERT_GE(slots[i], 0);
        peers[i] = peer;
        peer = PeerProcess{};
    }
    gFixtureStepsHttp = false;
    const std::string response = "HTTP/1.0 200 OK\r\nContent-Length: 20000\r\n\r\n" + SomeBytes(20000);
    static char peeked[30000];
    for (int i = 0; i < count; i++) {
        int handle = gHttp.table[slots[i]]->netHandle;
        ASSERT_EQ(PeerCommand(&peers[i], "send " + Hex(response)), "ok");
        ASSERT_TRUE(PumpUntil([&] { return NetWorkRecvToPeek(handle, peeked, 30000) == (int)response.size(); }));
        WsSocketLimits pieces{0, 1000, 0, 0};
        WsSetSocketLimits(LookupNetWorkRecord(handle)->socket, &pieces);
    }
    NetTestSetHttpPiecesPerStep(2);
    int64_t before = 0;
    for (int pass = 0; pass < count; pass++) {
        StepAllHttpHandles();
        int64_t now = 0;
        for (int slot : slots) now += gHttp.table[slot]->received;
        EXPECT_LE(now - before, 2 * 1000) << pass;
        before = now;
    }
    for (int slot : slots) EXPECT_GT(gHttp.table[slot]->received, 0);
    for (PeerProcess &p : peers) StopPeer(&p);
}

// Twenty transfers whose servers send a 40-line head at once, beside flooding peers that spend every
// pass's time (a pass per 16 ms): the head's time limit counts none of the waits for a turn; all finish.
TEST_F(Http, WholeHeadsBesideFloodingPeersAreReadAndAllTransfersFinish)
{
    int port = StartServer({"python3", PeerScript("framed_peer.py"), "serve", "40"});
    ASSERT_GT(port, 0);
    PeerProcess flooders;
    std::vector<int> flooding = AcceptPeers(&flooders, 10);
    ASSERT_EQ(flooding.size(), 10u);
    ASSERT_EQ(PeerCommand(&flooders, "flood 1000"), "ok");
    flooding.push_back(gNetWork.table[NETWORK_LISTEN_SLOT]->node.handle);
    TestClock clock{.tick = 50};
    InstallTestClock(&clock);
    const int count = 20;
    void *bodies[count] = {};
    int slots[count];
    for (int i = 0; i < count; i++) {
        HttpTransferStart start{HTTP_GET, "127.0.0.1", port, "/", nullptr, 0, nullptr, &bodies[i]};
        ASSERT_GE(slots[i] = StartHttpTransfer(&start), 0);
    }
    for (int pass = 0, running = count; pass < 1000 && running > 0; pass++) {
        clock.now += 16000;
        PumpNetWorkMessages(1);
        StepAllHttpHandles();
        for (int h : flooding) TakeWaiting(h);
        running = 0;
        for (int slot : slots) running += gHttp.table[slot]->state == HTTP_RUNNING;
    }
    KSetClockSource(nullptr);
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(std::make_pair(gHttp.table[slots[i]]->state, gHttp.table[slots[i]]->error), std::make_pair(0, -1));
        EXPECT_TRUE(bodies[i] && memcmp(bodies[i], "ok", 2) == 0);
        DeleteHttpHandle(slots[i]);
        FreeMemoryTracked(bodies[i]);
    }
    StopPeer(&flooders);
    for (int h : flooding) ReleaseNetWorkHandle(h);
}

// A memory body without a length grown past 64 MiB keeps its one block (the allocator's ID of it,
// watched step by step), so no step copies what was received before it.
TEST_F(Http, AMemoryBodyGrownPast64MiBIsNeverCopied)
{
    const int size = 64 * 1024 * 1024 + 1000;
    ASSERT_EQ(SetHttpMaxMemoryBody(size + 4), 0);
    int slot = StartWithPeer(HTTP_GET);
    ASSERT_GE(slot, 0);
    HttpHandleRecord *record = gHttp.table[slot];
    std::string commands = "send " + Hex("HTTP/1.0 200 OK\r\n\r\n") + "\nframe " + std::to_string(size) + " 5\nclose\n";
    ASSERT_EQ(write(peer.in, commands.data(), commands.size()), (ssize_t)commands.size());
    int id = -1, steps = 0;
    int64_t received = 0, mostCopied = 0;
    ASSERT_TRUE(PumpUntil([&] {
        int now = body ? ((MemoryBlockHeader *)body - 1)->id : -1;
        if (id >= 0 && now != id) mostCopied = std::max(mostCopied, received);
        id = now;
        received = record->received;
        steps++;
        return record->state != HTTP_RUNNING;
    }, 60000));
    EXPECT_EQ(std::make_pair(record->state, record->received), std::make_pair(0, (int64_t)size + 4));
    EXPECT_EQ(mostCopied, 0);
    EXPECT_GT(steps, 8);  // grown in several steps
}

// The start returns at once, whether the server drops the connection attempt or never answers; the
// time limit ends the transfer with its line.
TEST_F(Http, ServersThatDropOrNeverAnswerRunIntoTheTimeLimit)
{
    ASSERT_EQ(SetHttpTimeLimit(5000), 0);
    EXPECT_EQ(SetHttpTimeLimit(0), -1);
    DroppingListener dropping;
    int ports[] = {StartDroppingListener(&dropping), StartRawPeer()};
    for (int port : ports) {
        ASSERT_GT(port, 0);
        InstallSteppedClock(1000000);
        int slot = Start(HTTP_GET, port, "/", nullptr);
        ASSERT_GE(slot, 0);
        for (int pass = 0; pass < 3; pass++) StepAllHttpHandles();
        AdvanceSteppedClock(4999 * 1000);
        StepAllHttpHandles();
        int state = 0, error = 0;
        ASSERT_EQ(GetHttpTransferState(slot, &state, &error, nullptr), 0);
        EXPECT_EQ(state, HTTP_RUNNING);
        AdvanceSteppedClock(1000);
        StepAllHttpHandles();
        RemoveSteppedClock();
        EXPECT_EQ(Outcome(slot), std::make_pair(2, 5));
        DeleteHttpHandle(slot);
    }
    EXPECT_EQ(CountLogLines("HTTP転送が 5000 ミリ秒の間進まなかったので打ち切りました in StepHttpHandle"), 2);
    StopDroppingListener(&dropping);
}

// A server that sends faster than the body is written cannot hold one step: it takes a bounded number
// of pieces and the next step goes on, nothing lost; the file ends at the body's length, whatever the
// server sends beyond it.
TEST_F(Http, OneStepTakesABoundedShareOfTheBody)
{
    int slot = StartWithPeer(HTTP_GET, "got.bin");
    ASSERT_GE(slot, 0);
    gFixtureStepsHttp = false;
    NetTestSetHttpPiecesPerStep(2);
    std::string data = SomeBytes(20500);
    ASSERT_EQ(PeerCommand(&peer, "send " + Hex("HTTP/1.0 200 OK\r\nContent-Length: 20500\r\n\r\n" + data + SomeBytes(700))), "ok");
    WsSocket socket = LookupNetWorkRecord(gHttp.table[slot]->netHandle)->socket;
    WsSocketLimits pieces{0, 1000, 0, 0};
    WsSetSocketLimits(socket, &pieces);
    ASSERT_EQ(WsWaitSocket(socket, 0, 5000000), 1);
    EXPECT_EQ(StepHttpHandle(slot), 0);  // status, the header's end and the first pieces
    EXPECT_EQ(gHttp.table[slot]->step, 3);
    EXPECT_GT(gHttp.table[slot]->received, 0);
    EXPECT_LE(gHttp.table[slot]->received, 2 * 1000);
    gFixtureStepsHttp = true;
    EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
    EXPECT_TRUE(ReadTestFile("got.bin") == data);
}

TEST_F(Http, EndingsAndRefusalsAgainstAScriptedServer)
{
    struct Case {
        const char *name;
        std::string response;
        const char *ending;  // "close" or "reset"
        int state, error;
        std::string body;
    };
    const std::string longLine = "X-Long: " + std::string(300, 'a') + "\r\n";
    const Case cases[] = {
        {"empty body", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", "close", 0, -1, ""},
        {"no length, ended by close", "HTTP/1.0 200 OK\r\n\r\nhello world", "close", 0, -1, "hello world"},
        {"long header line skipped", "HTTP/1.0 200 OK\r\n" + longLine + "Content-Length: 2\r\n\r\nok", "close", 0, -1, "ok"},
        {"reset mid-body", "HTTP/1.0 200 OK\r\nContent-Length: 40\r\n\r\n0123456789", "reset", 2, 3, "<null>"},
        {"negative length", "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", "close", 2, 0, "<null>"},
        {"overflowing length", "HTTP/1.0 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n", "close", 2, 0, "<null>"},
        {"over the memory limit", "HTTP/1.0 200 OK\r\nContent-Length: 60\r\n\r\n", "close", 2, 2, "<null>"},
        {"over the memory limit and 32 bits", "HTTP/1.0 200 OK\r\nContent-Length: 99999999999\r\n\r\n", "close", 2, 2, "<null>"},
        {"no length, over the memory limit", "HTTP/1.0 200 OK\r\n\r\n" + std::string(70, 'z'), "close", 2, 2, "<null>"},
        {"no length, the memory limit exactly", "HTTP/1.0 200 OK\r\n\r\n" + std::string(50, 'z'), "close", 0, -1, std::string(50, 'z')},
        {"closed before the status", "", "close", 2, 3, "<null>"},
        {"closed in the status line", "HTTP/1.0 20", "close", 2, 3, "<null>"},
        {"closed in a header line", "HTTP/1.0 200 OK\r\nContent-Len", "close", 2, 3, "<null>"},
    };
    SetHttpMaxMemoryBody(50);
    for (const Case &c : cases) {
        int slot = StartWithPeer(HTTP_GET);
        ASSERT_GE(slot, 0);
        if (!c.response.empty()) {
            ASSERT_EQ(PeerCommand(&peer, "send " + Hex(c.response)), "ok");
        }
        if (std::string(c.ending) == "reset") {
            // The body must have been partly taken before the reset.
            ASSERT_TRUE(PumpUntil([&] { int n = 0; GetHttpTransferState(slot, nullptr, nullptr, &n); return n == 10; }));
        }
        ASSERT_EQ(PeerCommand(&peer, c.ending), "ok");
        EXPECT_EQ(Outcome(slot), std::make_pair(c.state, c.error)) << c.name;
        EXPECT_EQ(Body(slot), c.body) << c.name;
        EndCase(slot);
    }
    EXPECT_EQ(CountLogLines("Content-Length: の値が読めないか大きすぎます in StepHttpHandle"), 2);
    EXPECT_EQ(CountLogLines("以上はメモリの上限 50 バイトを超えます in StepHttpHandle"), 3);
}

// File bodies past 32 bits, with a length and ended by the close: the count is moved on by hand
// rather than sending gigabytes; it stays whole, and the int answer stops at INT32_MAX.
TEST_F(Http, FileBodiesPast32BitsKeepTheirCount)
{
    struct Case { std::string head; int64_t skip, received; };
    for (const Case &c : {Case{"Content-Length: 4294967300\r\n", 4294967296, 4294967300},
                          Case{"", INT32_MAX - 1, INT32_MAX + 3ll}}) {
        int slot = StartWithPeer(HTTP_GET, "big.bin");
        ASSERT_GE(slot, 0);
        HttpHandleRecord *record = gHttp.table[slot];
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex("HTTP/1.0 200 OK\r\n" + c.head + "\r\n")), "ok");
        ASSERT_TRUE(PumpUntil([&] { return record->step == 3; }));
        record->received = c.skip;
        ASSERT_EQ(PeerCommand(&peer, "send " + Hex("abcd")), "ok");
        ASSERT_EQ(PeerCommand(&peer, "close"), "ok");
        int received = 0;
        EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
        EXPECT_EQ(GetHttpTransferState(slot, nullptr, nullptr, &received), 0);
        EXPECT_EQ(std::make_pair(record->received, received), std::make_pair(c.received, INT32_MAX));
        EXPECT_EQ(ReadTestFile("big.bin"), "abcd");
        EndCase(slot);
    }
}

TEST_F(Http, FinishKeepsTheFirstOutcomeAndDeleteLeavesAPartialBody)
{
    EXPECT_EQ(DeleteHttpHandle(100), -1);
    EXPECT_EQ(DeleteHttpHandle(-1), -1);
    EXPECT_EQ(FinishHttpTransfer(5, 0, -1), -1);
    int slot = StartWithPeer(HTTP_GET);
    ASSERT_GE(slot, 0);
    ASSERT_EQ(PeerCommand(&peer, "send " + Hex("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabcd")), "ok");
    ASSERT_TRUE(PumpUntil([&] { return Body(slot) == "abcd"; }));
    EXPECT_EQ(DeleteHttpHandle(slot), 0);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(memcmp(body, "abcd", 4), 0);  // the caller owns the partial body
    EXPECT_EQ(GetHttpTransferState(slot, nullptr, nullptr, nullptr), -1);
    FreeMemoryTracked(body);
    body = nullptr;
    StopPeer(&peer);

    slot = StartWithPeer(HTTP_GET);
    ASSERT_EQ(FinishHttpTransfer(slot, 2, 1), 0);
    ASSERT_EQ(FinishHttpTransfer(slot, 0, -1), 0);
    EXPECT_EQ(Outcome(slot), std::make_pair(2, 1));
}

TEST_F(Http, BadStartsAreRefused)
{
    void *memory = nullptr;
    const HttpTransferStart bad[] = {
        {HTTP_GET, "127.0.0.1", 80, "/a\r\nX: y", nullptr, 0, nullptr, &memory},
        {HTTP_GET, "127.0.0.1\n", 80, "/", nullptr, 0, nullptr, &memory},
        {HTTP_GET, "127.0.0.1", 0, "/", nullptr, 0, nullptr, &memory},
        {HTTP_GET, "127.0.0.1", 80, "/", nullptr, 0, nullptr, nullptr},
        {HTTP_POST, "127.0.0.1", 80, "/", nullptr, 5, nullptr, &memory},
        {7, "127.0.0.1", 80, "/", nullptr, 0, nullptr, &memory},
    };
    for (const HttpTransferStart &start : bad) EXPECT_EQ(StartHttpTransfer(&start), -1);
    std::string longPath(300, 'p');
    HttpTransferStart tooLong{HTTP_GET, "127.0.0.1", 80, longPath.c_str(), nullptr, 0, nullptr, &memory};
    EXPECT_EQ(StartHttpTransfer(&tooLong), -1);
    EXPECT_EQ(gHttp.liveCount, 0);
    // Nobody listening: the connect fails in the pump, and the transfer with it.
    HttpTransferStart refused{HTTP_GET, "127.0.0.1", FindFreePort(), "/", nullptr, 0, nullptr, &memory};
    int slot = StartHttpTransfer(&refused);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(Outcome(slot), std::make_pair(2, 3));
    EXPECT_EQ(CountLogLines("接続できませんでした 127.0.0.1:"), 1);
}

TEST_F(Http, AFullDiskFailsTheTransfer)
{
    int slot = StartWithPeer(HTTP_GET, "/dev/full");
    ASSERT_GE(slot, 0);
    ASSERT_EQ(PeerCommand(&peer, "send " + Hex("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc")), "ok");
    EXPECT_EQ(Outcome(slot), std::make_pair(2, 4));
}

// ---- real servers -------------------------------------------------------------------------------

class HttpServers : public Http {
protected:
    void SetUp() override
    {
        Http::SetUp();
        data = SomeBytes(100000);
        mkdir((dir + "/www").c_str(), 0755);
        mkdir((dir + "/www/cgi-bin").c_str(), 0755);
        WriteFile(dir + "/www/data.bin", data);
        WriteFile(dir + "/www/cgi-bin/echo", "#!/bin/sh\necho 'Content-Type: text/plain'\necho\ncat\n", 0755);
    }
    // GET to memory and to a file, a missing file and HEAD, the same for every server.
    void GetAndHead(int port)
    {
        int slot = Start(HTTP_GET, port, "/data.bin", nullptr);
        ASSERT_GE(slot, 0);
        EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
        EXPECT_TRUE(Body(slot) == data);
        DeleteHttpHandle(slot);
        FreeMemoryTracked(body);
        body = nullptr;
        slot = Start(HTTP_GET, port, "/data.bin", "got.bin");
        EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
        EXPECT_TRUE(ReadTestFile("got.bin") == data);
        DeleteHttpHandle(slot);
        slot = Start(HTTP_GET, port, "/missing.bin", nullptr);
        EXPECT_EQ(Outcome(slot), std::make_pair(2, 1));
        DeleteHttpHandle(slot);
        slot = Start(HTTP_HEAD, port, "/data.bin", nullptr);
        EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
        EXPECT_EQ(gHttp.table[slot]->contentLength, 100000);
        DeleteHttpHandle(slot);
    }
    std::string data;
};

TEST_F(HttpServers, PythonHttpServer)
{
    int port = StartServer({"python3", PeerScript("http_server.py"), dir + "/www"});
    ASSERT_GT(port, 0);
    GetAndHead(port);
}

TEST_F(HttpServers, BusyboxHttpdWithAPostToItsCgi)
{
    if (!HaveProgram("busybox")) GTEST_SKIP() << "busybox is not installed (scripts/install-deps.sh)";
    int port = StartServer({"python3", PeerScript("busybox_httpd.py"), dir + "/www"});
    ASSERT_GT(port, 0);
    GetAndHead(port);
    // The CGI's answer has no length: the body ends with the close.
    std::string post = SomeBytes(20000);
    int slot = Start(HTTP_POST, port, "/cgi-bin/echo", nullptr, post);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(Outcome(slot), std::make_pair(0, -1));
    EXPECT_EQ(gHttp.table[slot]->contentLength, -1);
    EXPECT_TRUE(Body(slot) == post);
}

TEST_F(HttpServers, Nginx)
{
    if (!HaveProgram("nginx") && access("/usr/sbin/nginx", X_OK) != 0) GTEST_SKIP() << "nginx is not installed";
    int port = StartNginx(dir, &server);
    ASSERT_GT(port, 0);
    GetAndHead(port);
    int slot = Start(HTTP_GET, port, "/fail", nullptr);
    EXPECT_EQ(Outcome(slot), std::make_pair(2, 0));
    EXPECT_EQ(CountLogLines("接続に失敗しました (戻り値:500)"), 1);
}

}  // namespace
