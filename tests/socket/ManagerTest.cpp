#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "Loopback.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

TEST(SocketManager, WalkOverTheList) {
    SocketManager& m = TestManager();
    ASSERT_EQ(m.SocketCount(), 0) << "an earlier test left endpoints behind";
    EXPECT_EQ(m.NextSocket(true), nullptr);
    EXPECT_EQ(m.NextSocket(false), nullptr);

    Socket* a = m.CreateSocket();
    EXPECT_EQ(m.NextSocket(false), a);  // a lone entry, every time
    EXPECT_EQ(m.NextSocket(false), a);
    EXPECT_EQ(m.NextSocket(true), a);

    Socket* b = m.CreateSocket();
    Socket* c = m.CreateSocket();
    EXPECT_EQ(m.NextSocket(true), a);
    EXPECT_EQ(m.NextSocket(false), b);
    EXPECT_EQ(m.NextSocket(false), c);
    EXPECT_EQ(m.NextSocket(false), nullptr);
    EXPECT_EQ(m.NextSocket(false), a);

    // Destroying the entry under the walk: the next step yields its follower.
    EXPECT_EQ(m.NextSocket(false), b);
    delete b;
    EXPECT_EQ(m.NextSocket(false), c);
    delete c;
    EXPECT_EQ(m.NextSocket(false), a);  // one entry left

    Socket* d = m.CreateSocket();
    Socket* e = m.CreateSocket();
    EXPECT_EQ(m.NextSocket(true), a);
    EXPECT_EQ(m.NextSocket(false), d);
    EXPECT_EQ(m.NextSocket(false), e);
    delete e;  // the last one, under the walk
    EXPECT_EQ(m.NextSocket(false), nullptr);

    m.RemoveSocket(d);
    EXPECT_EQ(m.SocketCount(), 1);
    m.RemoveSocket(d);  // not listed any more: nothing changes
    EXPECT_EQ(m.SocketCount(), 1);
    delete d;
    delete a;
    EXPECT_EQ(m.SocketCount(), 0);
}

TEST(SocketManager, AddressLookups) {
    SocketManager& m = TestManager();
    std::uint32_t dotted = m.ResolveAddress("192.0.0.1");
    EXPECT_EQ(DottedAddress(dotted), "192.0.0.1");
    EXPECT_EQ(DottedAddress(m.ResolveAddress("127.0.0.1")), "127.0.0.1");
    EXPECT_EQ(m.ResolveAddress("no-such-host.invalid"), 0xFFFFFFFFu);
    std::string local = DottedAddress(m.LocalAddress());
    EXPECT_NE(local.rfind("127.", 0), 0u) << "a loopback address is no use to the office: " << local;
}

TEST(SocketManager, ConcurrentUseKeepsTheListConsistent) {
    SocketManager& m = TestManager();
    std::int32_t before = m.SocketCount();
    std::atomic<bool> stop{false};
    std::vector<std::thread> creators;
    for (int t = 0; t < 4; ++t) {
        creators.emplace_back([&m] {
            for (int i = 0; i < 300; ++i) {
                Socket* s = m.CreateSocket();
                if (i % 3 == 0) std::this_thread::yield();
                delete s;
            }
        });
    }
    std::thread walker([&] {
        while (!stop) {
            for (Socket* s = m.NextSocket(true); s != nullptr; s = m.NextSocket(false)) {
                EXPECT_GE(m.SocketCount(), 0);
                if (stop) break;
            }
        }
    });
    for (auto& t : creators) t.join();
    stop = true;
    walker.join();
    EXPECT_EQ(m.SocketCount(), before);
}

#if !defined(_WIN32)
TEST(SocketManager, FailedCreationListsNothing) {
    SocketManager& m = TestManager();
    std::int32_t before = m.SocketCount();
    rlimit saved;
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &tight);
    std::string raised;
    try {
        delete m.CreateSocket();
    } catch (const CExcept& e) {
        raised = e.GetText();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(raised, "Failed to create socket! Too many open files");
    EXPECT_EQ(m.SocketCount(), before);
}
#endif

#if GTEST_HAS_DEATH_TEST
// The walk's very first call, made on an empty list, leaves it on the end
// mark, so the next step reaches the first entry. Checked in a process of its
// own, where nothing has walked yet.
TEST(SocketManagerDeathTest, FirstWalkOnAnEmptyListStandsOnTheEndMark) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SocketManager& m = TestManager();
            bool ok = m.NextSocket(false) == nullptr;
            Socket* a = m.CreateSocket();
            Socket* b = m.CreateSocket();
            ok = ok && m.NextSocket(false) == a && m.NextSocket(false) == b && m.NextSocket(false) == nullptr;
            std::fflush(stdout);
            std::_Exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
