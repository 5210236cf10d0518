// The network inside the running library: the message pump services it on the main thread and the
// library end shuts it down before the window system goes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lib/core/library.h"
#include "lib/network/network_internal.h"
#include "tests/network/net_fixture.h"
#include "tests/support/test_temp_dir.h"

namespace {

TEST(NetWorkInLibrary, ThePumpServicesConnectionsAndTheEndShutsThemDown)
{
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);
    ASSERT_EQ(EnterFreshTempDir(), 0);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(StartNetWork(), 0);
    ASSERT_EQ(ListenNetWork(kLoopback, 0), 0);
    PeerProcess peer;
    std::string port = std::to_string(GetNetWorkListenPort());
    ASSERT_EQ(StartPeer(&peer, {"python3", PeerScript("framed_peer.py"), "connect", port}), 0);
    std::string line;
    ASSERT_TRUE(ReadPeerLine(&peer, &line));
    ASSERT_EQ(PeerCommand(&peer, "frame 5 2"), "ok");
    // Only the library's own pump runs from here on.
    int handle = -1;
    for (int pass = 0; pass < 20000 && (handle < 0 || GetNetWorkDataLength(handle) != 5); pass++) {
        ASSERT_EQ(PumpMessages(), 0);
        if (gNetWork.head.next->next) handle = gNetWork.head.next->handle;
        WsWaitSocket(handle >= 0 ? LookupNetWorkRecord(handle)->socket : 0, 0, 1000);
    }
    ASSERT_GE(handle, 0);
    EXPECT_EQ(GetNetWorkDataLength(handle), 5);
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(gNetWork.initialised, 0);
    EXPECT_EQ(WsGetOpenSocketCount(), 0);
    std::string log = ReadTestFile("Log.txt");
    size_t shut = log.find("ネットワーク関連の終了処理は完了しました");
    ASSERT_NE(shut, std::string::npos);
    EXPECT_LT(shut, log.find("ライブラリの終了処理が完了しました"));
    StopPeer(&peer);
    LeaveFreshTempDir();
}

}  // namespace
