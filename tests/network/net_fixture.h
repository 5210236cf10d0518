// Shared pieces of the network tests: a peer process driven through its standard input and output,
// and bounded pump loops that stop by themselves.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PeerProcess {
    pid_t pid = -1;
    int in = -1;     // its standard input
    int out = -1;    // its standard output
    std::string pending;
};

// Starts a program with pipes on its standard input and output. 0 / -1.
int StartPeer(PeerProcess *peer, const std::vector<std::string> &argv);
// Reads one line of the peer's output, pumping the network meanwhile; false after timeoutMs.
bool ReadPeerLine(PeerProcess *peer, std::string *line, int timeoutMs = 20000);
// Sends a command line and waits for its reply line (pumping). The reply, or "timeout".
std::string PeerCommand(PeerProcess *peer, const std::string &command, int timeoutMs = 20000);
// Closes its input, ends it if it is still running, and reaps it.
void StopPeer(PeerProcess *peer);
// Path of a script under tests/network/peers.
std::string PeerScript(const char *name);
// Starts framed_peer.py with count connections to our listening record (listening on loopback first
// when there is none); their handles, or none when they did not all come.
std::vector<int> AcceptPeers(PeerProcess *peer, int count);
// Takes what waits whole on a connection ("" when nothing, or the receive failed).
std::string TakeWaiting(int handle);
// Runs the pump's network and HTTP hooks until done() holds; false after timeoutMs.
bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 20000);
// Whether the fixture's pump loops also step the HTTP transfers (default true).
extern bool gFixtureStepsHttp;
// A port on 127.0.0.1 that was free a moment ago, or -1.
int FindFreePort(void);
// Waits until something accepts connections on 127.0.0.1:port; false after timeoutMs.
bool WaitForListener(int port, int timeoutMs = 20000);
// The head of the answer to "HEAD / HTTP/1.0" from 127.0.0.1:port, read until the server closes or
// timeoutMs passes ("" when nothing answers): tells which server took a port.
std::string FetchHttpHead(int port, int timeoutMs = 20000);
// A listener on 127.0.0.1 whose backlog is full: a further connection attempt is dropped and stays
// under way (the peer retries its SYN), as against a server that drops connection attempts.
struct DroppingListener {
    int listener = -1;
    int filler = -1;  // the connection that fills the backlog
};
// Its port, or -1.
int StartDroppingListener(DroppingListener *dropping);
void StopDroppingListener(DroppingListener *dropping);
// nginx on 127.0.0.1 serving dir/www, with its files in dir and "/fail" answering 500; its port, or -1.
// nginx binds the port itself, some time after it was seen free: the answer must come from nginx, or
// another port is tried.
int StartNginx(const std::string &dir, PeerProcess *server);
// How often a text stands in "Log.txt" of the current folder.
int CountLogLines(const std::string &text);
// Real milliseconds (not the kernel stand-in's clock, which a test may have stepped).
int64_t NowMs(void);
// A kernel clock that moves tick us at every look (as the work of a pass takes time) and jumps a second
// at its cut-th look (0: never); the test may move now too.
struct TestClock {
    uint64_t now = 1000000, tick = 0;
    int looks = 0, cut = 0;
};
// Installs it as the kernel's clock; KSetClockSource(nullptr) removes it.
void InstallTestClock(TestClock *clock);
// The loopback address bytes.
extern const unsigned char kLoopback[4];
// 1 when a program is on the PATH.
bool HaveProgram(const char *name);
