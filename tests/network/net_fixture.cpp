// Peer processes and bounded pump loops for the network tests.
#include "tests/network/net_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/network/http.h"
#include "lib/network/network_internal.h"
#include "platform/kernel/kernel.h"

const unsigned char kLoopback[4] = {127, 0, 0, 1};
bool gFixtureStepsHttp = true;

int64_t NowMs(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static uint64_t TestClockNow(void *user)
{
    TestClock *clock = (TestClock *)user;
    if (++clock->looks == clock->cut) clock->now += 1000000;
    return clock->now += clock->tick;
}
static void TestClockSleep(void *user, uint32_t milliseconds) { ((TestClock *)user)->now += milliseconds * 1000ull; }

void InstallTestClock(TestClock *clock)
{
    KClockSource source = {TestClockNow, TestClockSleep, clock};
    KSetClockSource(&source);
}

std::string TakeWaiting(int handle)
{
    int waiting = GetNetWorkDataLength(handle);
    std::string taken(waiting > 0 ? (size_t)waiting : 0, 0);
    if (waiting > 0 && NetWorkRecv(handle, taken.data(), waiting) != 0) taken.clear();
    return taken;
}

static int ElapsedMs(int64_t start) { return (int)(NowMs() - start); }

int StartPeer(PeerProcess *peer, const std::vector<std::string> &argv)
{
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0) return -1;
    if (pipe(fromChild) != 0) return close(toChild[0]), close(toChild[1]), -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[0]), close(toChild[1]), close(fromChild[0]), close(fromChild[1]);
        std::vector<char *> args;
        for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    if (pid < 0) return close(toChild[1]), close(fromChild[0]), -1;
    signal(SIGPIPE, SIG_IGN);  // a peer that has gone must not end the test
    peer->pid = pid;
    peer->in = toChild[1];
    peer->out = fromChild[0];
    peer->pending.clear();
    return 0;
}

// Services the network once and waits up to 1 ms for fd to become readable. 1 readable.
static int PumpOnce(int fd)
{
    PumpNetWorkMessages(1);
    if (gFixtureStepsHttp) StepAllHttpHandles();
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && poll(&p, 1, 1) > 0;
}

bool ReadPeerLine(PeerProcess *peer, std::string *line, int timeoutMs)
{
    int64_t start = NowMs();
    for (;;) {
        size_t end = peer->pending.find('\n');
        if (end != std::string::npos) {
            *line = peer->pending.substr(0, end);
            peer->pending.erase(0, end + 1);
            return true;
        }
        if (ElapsedMs(start) > timeoutMs) return false;
        if (!PumpOnce(peer->out)) continue;
        char buffer[4096];
        ssize_t got = read(peer->out, buffer, sizeof buffer);
        if (got <= 0) return false;
        peer->pending.append(buffer, (size_t)got);
    }
}

std::string PeerCommand(PeerProcess *peer, const std::string &command, int timeoutMs)
{
    std::string text = command + "\n";
    if (write(peer->in, text.data(), text.size()) != (ssize_t)text.size()) return "timeout";
    std::string line;
    return ReadPeerLine(peer, &line, timeoutMs) ? line : "timeout";
}

void StopPeer(PeerProcess *peer)
{
    if (peer->pid <= 0) return;
    if (peer->in >= 0) close(peer->in);
    if (peer->out >= 0) close(peer->out);
    kill(peer->pid, SIGTERM);
    waitpid(peer->pid, nullptr, 0);
    *peer = PeerProcess{};
}

std::string PeerScript(const char *name)
{
    const char *source = getenv("DAZAR_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/network/peers/" + name;
}

std::vector<int> AcceptPeers(PeerProcess *peer, int count)
{
    if (!gNetWork.table[NETWORK_LISTEN_SLOT] && ListenNetWork(kLoopback, 0) != 0) return {};
    auto connections = [] {
        std::vector<int> handles;
        for (NetWorkListNode *node = gNetWork.head.next; node->next; node = node->next) {
            if ((node->handle & 0xFFFF) != NETWORK_LISTEN_SLOT) handles.push_back(node->handle);
        }
        return handles;
    };
    std::vector<int> older = connections(), handles;
    std::sort(older.begin(), older.end());
    std::string port = std::to_string(GetNetWorkListenPort()), line;
    if (StartPeer(peer, {"python3", PeerScript("framed_peer.py"), "connect", port, std::to_string(count)}) != 0) return {};
    PumpUntil([&] {
        handles.clear();
        for (int h : connections()) {
            if (!std::binary_search(older.begin(), older.end(), h)) handles.push_back(h);
        }
        return (int)handles.size() == count;
    }, 120000);
    bool all = (int)handles.size() == count && ReadPeerLine(peer, &line) && line == "ok connected";
    return all ? handles : std::vector<int>{};
}

bool PumpUntil(const std::function<bool()> &done, int timeoutMs)
{
    int64_t start = NowMs();
    while (!done()) {
        if (ElapsedMs(start) > timeoutMs) return false;
        PumpOnce(-1);
        pollfd none{-1, 0, 0};
        poll(&none, 1, 1);  // give the peer its turn
    }
    return true;
}

bool HaveProgram(const char *name)
{
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

// A loopback address record for a port.
static sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons((uint16_t)port);
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return in;
}

int FindFreePort(void)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in = LoopbackAddress(0);
    socklen_t length = sizeof in;
    int port = -1;
    if (bind(fd, (sockaddr *)&in, sizeof in) == 0 && getsockname(fd, (sockaddr *)&in, &length) == 0) {
        port = ntohs(in.sin_port);
    }
    close(fd);
    return port;
}

std::string FetchHttpHead(int port, int timeoutMs)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in = LoopbackAddress(port);
    const char request[] = "HEAD / HTTP/1.0\r\n\r\n";
    std::string head;
    if (connect(fd, (sockaddr *)&in, sizeof in) == 0 && write(fd, request, sizeof request - 1) == sizeof request - 1) {
        int64_t start = NowMs();
        char buffer[1024];
        pollfd p{fd, POLLIN, 0};
        while (ElapsedMs(start) <= timeoutMs && poll(&p, 1, 100) >= 0) {
            if (!(p.revents & (POLLIN | POLLHUP))) continue;
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) break;
            head.append(buffer, (size_t)got);
        }
    }
    close(fd);
    return head;
}

bool WaitForListener(int port, int timeoutMs)
{
    int64_t start = NowMs();
    while (ElapsedMs(start) <= timeoutMs) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in in = LoopbackAddress(port);
        int result = connect(fd, (sockaddr *)&in, sizeof in);
        close(fd);
        if (result == 0) return true;
        pollfd none{-1, 0, 0};
        poll(&none, 1, 10);  // the server is still starting: try again shortly
    }
    return false;
}

int StartDroppingListener(DroppingListener *dropping)
{
    dropping->listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in = LoopbackAddress(0);
    socklen_t length = sizeof in;
    if (bind(dropping->listener, (sockaddr *)&in, sizeof in) != 0 || listen(dropping->listener, 0) != 0 ||
        getsockname(dropping->listener, (sockaddr *)&in, &length) != 0) {
        return -1;
    }
    // A backlog of 0 holds one connection that nobody accepts; the next SYN finds it full.
    dropping->filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(dropping->filler, (sockaddr *)&in, sizeof in);
    pollfd p{dropping->filler, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    if (poll(&p, 1, 20000) != 1 || getsockopt(dropping->filler, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error) {
        return -1;
    }
    return ntohs(in.sin_port);
}

void StopDroppingListener(DroppingListener *dropping)
{
    if (dropping->filler >= 0) close(dropping->filler);
    if (dropping->listener >= 0) close(dropping->listener);
    *dropping = DroppingListener{};
}

int StartNginx(const std::string &dir, PeerProcess *server)
{
    const char *nginx = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
    for (int attempt = 0; attempt < 3; attempt++) {
        int port = FindFreePort();
        char conf[1024];
        snprintf(conf, sizeof conf,
                 "daemon off;\nmaster_process off;\npid %s/nginx.pid;\nerror_log %s/error.log;\n"
                 "events { worker_connections 64; }\n"
                 "http { access_log off; server { listen 127.0.0.1:%d; root %s/www;\n"
                 "  location /fail { return 500; } } }\n",
                 dir.c_str(), dir.c_str(), port, dir.c_str());
        FILE *file = fopen((dir + "/nginx.conf").c_str(), "w");
        if (!file) return -1;
        fputs(conf, file);
        fclose(file);
        if (StartPeer(server, {nginx, "-p", dir + "/", "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}) != 0) return -1;
        if (WaitForListener(port) && FetchHttpHead(port).find("Server: nginx") != std::string::npos) return port;
        StopPeer(server);
    }
    return -1;
}

int CountLogLines(const std::string &text)
{
    std::string log;
    FILE *file = fopen("Log.txt", "rb");
    char buffer[4096];
    for (size_t got; file && (got = fread(buffer, 1, sizeof buffer, file)) > 0;) log.append(buffer, got);
    if (file) fclose(file);
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) count++;
    return count;
}
