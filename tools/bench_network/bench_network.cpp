// Network figures over loopback. Downloads: a 100 MiB file served by nginx on 127.0.0.1, fetched by an
// HTTP transfer into a file and into memory, with the pump run in a loop and once per 16 ms frame (as a
// game does), each beside curl's speed on the same file (counters "curl_MB/s" and "of_curl"; into memory
// compares with curl writing to /dev/shm, and also shows curl writing to /dev/null). Framed:
// messages of 1 KiB, 64 KiB and 32 MiB from one connection of ours to another. Many peers: 1 to 100
// peers flooding 1-byte messages (and 1,000 idle ones) served by a program that reads every peer once
// a pass, with the time of the pump and of each call and a light peer's latency in passes beside the
// peer count. Bulk: a peer sending 1 MiB messages to a program making one pass per 16 ms, alone and
// beside flooding peers. Growth: the longest pass while a memory body or the receive ring grows large.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "lib/core/memory.h"
#include "lib/network/http.h"
#include "lib/network/network.h"
#include "lib/network/network_internal.h"
#include "tests/network/net_fixture.h"

namespace {

const int kFileBytes = 100 * 1024 * 1024;
const int kFrameMicroseconds = 16000;

double NowSeconds(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// Processor seconds of this thread (a busy machine's other work left out).
double CpuSeconds(void)
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// nginx on 127.0.0.1 over a temporary folder holding the 100 MiB file; started once, ended at exit.
struct Server {
    std::string dir;
    PeerProcess nginx;
    int port = -1;
};
Server sServer;

void StopServer(void)
{
    StopPeer(&sServer.nginx);
    std::string command = "rm -rf '" + sServer.dir + "'";
    if (!sServer.dir.empty() && system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", sServer.dir.c_str());
}

const char *StartServer(void)
{
    if (sServer.port > 0) return nullptr;
    char pattern[] = "/tmp/bench_network_XXXXXX";
    if (!mkdtemp(pattern)) return "no temporary folder";
    sServer.dir = pattern;
    atexit(StopServer);
    mkdir((sServer.dir + "/www").c_str(), 0755);
    FILE *file = fopen((sServer.dir + "/www/big.bin").c_str(), "wb");
    if (!file) return "cannot write the file";
    std::string block(1 << 20, 0);
    uint32_t x = 2463534242u;
    for (int i = 0; i < kFileBytes / (1 << 20); i++) {
        for (char &c : block) x ^= x << 13, x ^= x >> 17, x ^= x << 5, c = (char)x;
        fwrite(block.data(), 1, block.size(), file);
    }
    fclose(file);
    sServer.port = StartNginx(sServer.dir, &sServer.nginx);
    return sServer.port > 0 ? nullptr : "nginx did not start (scripts/install-deps.sh installs nginx-light)";
}

std::string Url(void) { return "http://127.0.0.1:" + std::to_string(sServer.port) + "/big.bin"; }

// curl's speed on the file, the best of three, written to a path: a file on disk, a file in memory
// (/dev/shm: pages taken fresh, as our memory body's are) or /dev/null (written nowhere).
double CurlMegabytesPerSecond(const std::string &out)
{
    std::string command = "curl -s -o '" + out + "' '" + Url() + "'";
    double best = 0;
    for (int run = 0; run < 3; run++) {
        unlink(out.c_str());
        double start = NowSeconds();
        if (system(command.c_str()) != 0) return 0;
        double speed = kFileBytes / 1e6 / (NowSeconds() - start);
        if (speed > best) best = speed;
    }
    if (out != "/dev/null") unlink(out.c_str());
    return best;
}

// Waits until the frame that began at start is 16 ms old.
void WaitForFrameEnd(double start)
{
    double left = start + kFrameMicroseconds / 1e6 - NowSeconds();
    if (left > 0) usleep((useconds_t)(left * 1e6));
}

// One download of the file by an HTTP transfer; its seconds, or -1.
double DownloadOnce(int toMemory, int perFrame)
{
    void *memory = nullptr;
    std::string file = sServer.dir + "/ours.bin";
    HttpTransferStart start{HTTP_GET, "127.0.0.1", sServer.port, "/big.bin", nullptr, 0,
                            toMemory ? nullptr : file.c_str(), toMemory ? &memory : nullptr};
    double begin = NowSeconds();
    int slot = StartHttpTransfer(&start);
    if (slot < 0) return -1;
    int state = HTTP_RUNNING, error = -1, received = 0;
    while (state == HTTP_RUNNING) {
        double frame = NowSeconds();
        PumpNetWorkMessages(1);
        StepAllHttpHandles();
        GetHttpTransferState(slot, &state, &error, &received);
        if (perFrame && state == HTTP_RUNNING) WaitForFrameEnd(frame);
    }
    double seconds = NowSeconds() - begin;
    DeleteHttpHandle(slot);
    FreeMemoryTracked(memory);
    return state == HTTP_DONE && received == kFileBytes ? seconds : -1;
}

// Args: destination (0 file, 1 memory), pace (0 loop, 1 one pump per 16 ms).
void BM_Download(benchmark::State &state)
{
    int toMemory = (int)state.range(0), perFrame = (int)state.range(1);
    if (const char *problem = StartServer()) return state.SkipWithError(problem);
    SetHttpMaxMemoryBody(kFileBytes);
    static double curlFile, curlMemory, curlDiscard;
    if (curlFile == 0) {
        curlFile = CurlMegabytesPerSecond(sServer.dir + "/curl.bin");
        curlMemory = CurlMegabytesPerSecond("/dev/shm/bench_network_curl_" + std::to_string(getpid()));
        curlDiscard = CurlMegabytesPerSecond("/dev/null");
    }
    double curl = toMemory ? curlMemory : curlFile;
    double total = 0;
    for (auto _ : state) {
        double seconds = DownloadOnce(toMemory, perFrame);
        if (seconds < 0) return state.SkipWithError("the download failed");
        state.SetIterationTime(seconds);
        total += seconds;
    }
    double ours = kFileBytes / 1e6 * (double)state.iterations() / total;
    state.counters["MB/s"] = ours;
    state.counters["curl_MB/s"] = curl;
    state.counters["of_curl"] = curl > 0 ? ours / curl : 0;
    if (toMemory) state.counters["curl_discard_MB/s"] = curlDiscard;
}
BENCHMARK(BM_Download)->ArgNames({"memory", "per_frame"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// A framed connection of ours to another of ours: the sending and the receiving handle. 0 / -1.
int ConnectPair(int *sender, int *receiver)
{
    if (StartNetWork() != 0) return -1;
    static int listening = 0;
    if (!listening && ListenNetWork(kLoopback, 0) != 0) return -1;
    listening = 1;
    *sender = ConnectNetWork(kLoopback, GetNetWorkListenPort());
    *receiver = -1;
    for (int pass = 0; pass < 100000 && *sender >= 0 && (*receiver < 0 || GetNetWorkConnectState(*sender) != 1); pass++) {
        PumpNetWorkMessages(1);
        // The accepted connection is the newest record.
        int newest = gNetWork.head.next->handle;
        if (newest != *sender && newest != gNetWork.table[NETWORK_LISTEN_SLOT]->node.handle) *receiver = newest;
    }
    return *sender >= 0 && *receiver >= 0 ? 0 : -1;
}

// Arg: message size. Sends 64 MiB (8 MiB for small messages) a message at a time, keeping at most 1 MiB
// or two messages under way, and takes them as they complete.
void BM_Framed(benchmark::State &state)
{
    const int size = (int)state.range(0);
    const int64_t total = size < 65536 ? 8 << 20 : 64 << 20;
    int sender, receiver;
    if (ConnectPair(&sender, &receiver) != 0) return state.SkipWithError("no loopback pair");
    const int64_t window = size < 512 * 1024 ? 1024 * 1024 : 2 * (int64_t)size;
    std::string message((size_t)size, 'm'), taken;
    for (auto _ : state) {
        int64_t sent = 0, got = 0;
        double begin = NowSeconds();
        while (got < total) {
            if (NowSeconds() - begin > 60) return state.SkipWithError("the messages stopped coming");
            if (sent < total && sent - got < window && NetWorkSend(sender, message.data(), size) == 0) {
                sent += size;
            }
            PumpNetWorkMessages(1);
            int waiting = GetNetWorkDataLength(receiver);
            if (waiting <= 0) continue;
            taken.resize((size_t)waiting);
            if (NetWorkRecv(receiver, taken.data(), waiting) == 0) got += waiting;
        }
    }
    ReleaseNetWorkHandle(sender);
    ReleaseNetWorkHandle(receiver);
    state.SetBytesProcessed(state.iterations() * total);
}
BENCHMARK(BM_Framed)->Arg(1024)->Arg(64 * 1024)->Arg(32 * 1024 * 1024)->Unit(benchmark::kMillisecond);

// The mean, the 99th percentile and the largest of some values, in unit (scale: one value in it; by
// default seconds in milliseconds).
void Spread(benchmark::State &state, const char *name, std::vector<double> values, const char *unit = "ms",
            double scale = 1e3)
{
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    std::string tail = std::string("_") + unit;
    state.counters[name + tail] = sum / (double)values.size() * scale;
    state.counters[name + ("_p99" + tail)] = values[values.size() * 99 / 100] * scale;
    state.counters[name + ("_max" + tail)] = values.back() * scale;
}

// Takes all that is complete on a connection, as a program does once a pass; the bytes taken.
int TakeWaiting(int handle, std::string *buffer)
{
    int waiting = GetNetWorkDataLength(handle);
    buffer->resize(waiting > 0 ? (size_t)waiting : 0);
    return waiting > 0 && NetWorkRecv(handle, buffer->data(), waiting) == 0 ? waiting : 0;
}

// A light peer of ours: a plain socket connected to our listener, sending one 8-byte message when
// asked, and its handle on our side. 0 / -1.
struct LightPeer {
    int fd = -1;
    int handle = -1;
};
int ConnectLightPeer(LightPeer *light)
{
    std::vector<int> older;
    for (NetWorkListNode *node = gNetWork.head.next; node->next; node = node->next) older.push_back(node->handle);
    light->fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons((uint16_t)GetNetWorkListenPort());
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(light->fd, (sockaddr *)&in, sizeof in) != 0) return -1;
    int one = 1;
    setsockopt(light->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    PumpUntil([&] {
        int newest = gNetWork.head.next->handle;
        if (std::find(older.begin(), older.end(), newest) == older.end()) light->handle = newest;
        return light->handle >= 0;
    }, 20000);
    return light->handle >= 0 ? 0 : -1;
}
void StopLightPeer(LightPeer *light)
{
    if (light->handle >= 0) ReleaseNetWorkHandle(light->handle);
    if (light->fd >= 0) close(light->fd);
    *light = LightPeer{};
}

// Args: peers, busy (1: each floods 1-byte messages; 0: idle). One iteration is one pass of the
// program: the pump (the message pump's network and HTTP hooks), then for every peer one call pair
// (its data length and the receive of that much), each timed. Beside them a light peer sends 8 bytes
// every few passes; its latency is counted in passes from the pass after it sent to the pass that
// took it (1: taken in the next pass).
void BM_Peers(benchmark::State &state)
{
    const int count = (int)state.range(0), busy = (int)state.range(1);
    PeerProcess peer;
    LightPeer light;
    std::vector<int> handles = StartNetWork() == 0 ? AcceptPeers(&peer, count) : std::vector<int>{};
    if ((int)handles.size() != count || ConnectLightPeer(&light) != 0 || (busy && PeerCommand(&peer, "flood 1") != "ok")) {
        StopPeer(&peer);
        StopLightPeer(&light);
        return state.SkipWithError("the peers did not connect");
    }
    std::string buffer;
    auto take = [&](int handle) { return TakeWaiting(handle, &buffer); };
    // The timed passes begin once every busy peer's data flows, not while its flood is starting.
    std::vector<int> flowing(handles.size(), !busy);
    if (!PumpUntil([&] {
            for (size_t i = 0; i < handles.size(); i++) flowing[i] |= take(handles[i]) > 0;
            return std::count(flowing.begin(), flowing.end(), 0) == 0;
        }, 60000)) {
        StopPeer(&peer);
        StopLightPeer(&light);
        return state.SkipWithError("the peers sent nothing");
    }
    std::vector<double> pumps, pumpsCpu, calls, latencies;
    double taken = 0;
    int pass = 0, sentAt = -1;
    const char message[12] = {8, 0, 0, 0, 'l', 'i', 'g', 'h', 't', '-', '-', '!'};
    for (auto _ : state) {
        double begin = NowSeconds(), cpu = CpuSeconds();
        PumpNetWorkMessages(1);
        StepAllHttpHandles();
        pumps.push_back(NowSeconds() - begin);
        pumpsCpu.push_back(CpuSeconds() - cpu);
        for (int handle : handles) {
            double call = NowSeconds();
            taken += take(handle);
            calls.push_back(NowSeconds() - call);
        }
        state.SetIterationTime(NowSeconds() - begin);
        pass++;
        if (sentAt >= 0 && take(light.handle) > 0) {
            latencies.push_back(pass - sentAt);
            sentAt = -1;
        }
        if (sentAt < 0 && pass % 4 == 0 && write(light.fd, message, sizeof message) == (ssize_t)sizeof message) sentAt = pass;
    }
    StopPeer(&peer);
    StopLightPeer(&light);
    for (int handle : handles) ReleaseNetWorkHandle(handle);
    Spread(state, "pump", pumps);
    Spread(state, "pump_cpu", pumpsCpu);
    Spread(state, "call", calls);
    state.counters["bytes_per_pass"] = taken / (double)state.iterations();
    Spread(state, "light", latencies, "passes", 1);
}
BENCHMARK(BM_Peers)->ArgNames({"peers", "busy"})->Args({1, 1})->Args({10, 1})->Args({50, 1})->Args({100, 1})
    ->Args({1000, 0})->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);

// Arg: flooding peers beside the bulk one. A peer sends 1 MiB messages without end while the program
// makes one pass per 16 ms (the pump, then it takes all that is complete from every peer), as a game
// at 60 frames a second does; the bulk peer's throughput and bytes a pass over about two seconds, and
// the time of the pump.
void BM_BulkPerFrame(benchmark::State &state)
{
    const int flooders = (int)state.range(0);
    PeerProcess bulk, others;
    std::vector<int> bulkHandle = StartNetWork() == 0 ? AcceptPeers(&bulk, 1) : std::vector<int>{};
    std::vector<int> handles = flooders > 0 ? AcceptPeers(&others, flooders) : std::vector<int>{};
    if (bulkHandle.size() != 1 || (int)handles.size() != flooders ||
        (flooders > 0 && PeerCommand(&others, "flood 1") != "ok") || PeerCommand(&bulk, "flood 1048576") != "ok") {
        StopPeer(&bulk);
        StopPeer(&others);
        return state.SkipWithError("the peers did not connect");
    }
    std::string buffer;
    auto take = [&](int handle) { return TakeWaiting(handle, &buffer); };
    const int passes = 125;
    double bytes = 0, seconds = 0;
    std::vector<double> pumps;
    for (auto _ : state) {
        double begin = NowSeconds(), got = 0;
        for (int pass = 0; pass < passes; pass++) {
            double frame = NowSeconds();
            PumpNetWorkMessages(1);
            StepAllHttpHandles();
            pumps.push_back(NowSeconds() - frame);
            got += take(bulkHandle[0]);
            for (int handle : handles) take(handle);
            WaitForFrameEnd(frame);
        }
        double spent = NowSeconds() - begin;
        state.SetIterationTime(spent);
        bytes += got;
        seconds += spent;
    }
    StopPeer(&bulk);
    StopPeer(&others);
    ReleaseNetWorkHandle(bulkHandle[0]);
    for (int handle : handles) ReleaseNetWorkHandle(handle);
    state.counters["bulk_MB/s"] = bytes / 1e6 / seconds;
    Spread(state, "pump", pumps);
    state.counters["per_pass_MB"] = bytes / 1e6 / (passes * (double)state.iterations());
}
BENCHMARK(BM_BulkPerFrame)->ArgNames({"flooders"})->Arg(0)->Arg(10)->Arg(100)->Iterations(3)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Passes until done() holds, pumping as a program does and sending the peer its commands first; the
// processor time of the longest pass, or -1 when done() did not come within a minute.
double LongestPass(PeerProcess *peer, const std::string &commands, const std::function<bool()> &done)
{
    if (write(peer->in, commands.data(), commands.size()) != (ssize_t)commands.size()) return -1;
    double longest = 0, begin = NowSeconds();
    while (!done()) {
        if (NowSeconds() - begin > 60) return -1;
        double cpu = CpuSeconds();
        PumpNetWorkMessages(1);
        StepAllHttpHandles();
        longest = std::max(longest, CpuSeconds() - cpu);
    }
    return longest;
}

// Arg: 0 a memory body of 200 MiB without a length (the memory limit raised to it), grown as it comes;
// 1 a 64 MiB framed message whose whole length is reserved behind 64 MiB the program has not taken (its
// queue limit raised). The processor time of the longest pass: growth must not copy what is held.
void BM_LongestGrowthPass(benchmark::State &state)
{
    const int framed = (int)state.range(0), size = framed ? 64 << 20 : 200 << 20;
    for (auto _ : state) {
        PeerProcess peer;
        std::string line;
        void *memory = nullptr;
        double longest = -1;
        SetHttpMaxMemoryBody(size + 4);
        if (framed) {
            std::vector<int> h = StartNetWork() == 0 ? AcceptPeers(&peer, 1) : std::vector<int>{};
            if (h.size() == 1) {
                SetNetWorkRecvQueueLimit(256 << 20);
                longest = LongestPass(&peer, "frames 64 1048576\nframe " + std::to_string(size) + " 1\n",
                                      [&] { return GetNetWorkDataLength(h[0]) >= 2 * size; });
                ReleaseNetWorkHandle(h[0]);
                SetNetWorkRecvQueueLimit(NETWORK_DEFAULT_RECV_QUEUE);
            }
        } else if (StartPeer(&peer, {"python3", PeerScript("framed_peer.py"), "listen"}) == 0 && ReadPeerLine(&peer, &line)) {
            HttpTransferStart start{HTTP_GET, "127.0.0.1", atoi(line.c_str() + 5), "/", nullptr, 0, nullptr, &memory};
            int slot = StartHttpTransfer(&start), state = HTTP_RUNNING;
            longest = LongestPass(&peer, "readhead\nsend 485454502f312e3020323030204f4b0d0a0d0a\nframe " + std::to_string(size) + " 1\nclose\n",
                                  [&] { return GetHttpTransferState(slot, &state, nullptr, nullptr) != 0 || state != HTTP_RUNNING; });
            DeleteHttpHandle(slot);
            FreeMemoryTracked(memory);
        }
        StopPeer(&peer);
        SetHttpMaxMemoryBody(64 << 20);
        if (longest < 0) return state.SkipWithError("the data did not come");
        state.SetIterationTime(longest);
    }
}
BENCHMARK(BM_LongestGrowthPass)->ArgNames({"framed"})->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    ShutDownNetWork();
    benchmark::Shutdown();
    return 0;
}
