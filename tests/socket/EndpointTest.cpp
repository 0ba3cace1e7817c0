#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Loopback.h"

namespace {

struct Deleter {
    void operator()(Socket* s) const { delete s; }
};
typedef std::unique_ptr<Socket, Deleter> Endpoint;

Endpoint Listener(std::uint16_t port = 0) {
    Endpoint s(TestManager().CreateSocket());
    s->Bind(port);
    s->Listen();
    return s;
}

std::string Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const CExcept& e) {
        return e.GetText();
    }
    return "(nothing raised)";
}

}  // namespace

TEST(Endpoint, RaisedTextsForRealFailures) {
    Endpoint holder = Listener();
    std::uint16_t held = BoundPort(holder.get());
    Endpoint second(TestManager().CreateSocket());
    EXPECT_EQ(Raised([&] { second->Bind(held); }), "bind failed! Address already in use");

    Endpoint probe(TestManager().CreateSocket());
    probe->Bind(0);
    std::uint16_t closedPort = BoundPort(probe.get());
    probe->Close();
    Endpoint client(TestManager().CreateSocket());
    EXPECT_EQ(Raised([&] { client->Connect("127.0.0.1", closedPort); }), "connect failed! Connection refused");
    EXPECT_FALSE(client->IsConnected());

    Endpoint unlistened(TestManager().CreateSocket());
    unlistened->Bind(0);
    EXPECT_EQ(Raised([&] { delete unlistened->Accept(); }), "Accept failed! Invalid argument");
    unlistened->Close();
    EXPECT_EQ(Raised([&] { unlistened->Listen(); }), "listen failed! Socket operation on nonsocket");
    std::uint32_t waiting = 0;
    EXPECT_EQ(Raised([&] { unlistened->IoControl(SocketFionRead, &waiting); }),
              "ioctlsocket failed! Socket operation on nonsocket");

#if !defined(_WIN32)
    // A peer that resets the connection. (Wine takes the reset in before the
    // program asks, and its recv reports an orderly end instead.)
    Endpoint listener = Listener();
    RawClient peer;
    ASSERT_TRUE(peer.Connect(BoundPort(listener.get())));
    Endpoint accepted(listener->Accept());
    peer.Reset();
    SleepMs(200);
    std::uint16_t length = 0;
    EXPECT_EQ(Raised([&] { accepted->Receive(length); }), "recv failed! Connection reset by peer");
#endif
}

TEST(Endpoint, NotConnectedRefusalsCarryTheirTextAlone) {
    Endpoint listener = Listener();
    std::uint16_t length = 7;
    EXPECT_EQ(Raised([&] { listener->Receive(length); }), "Connection not established for send");
    EXPECT_EQ(Raised([&] { listener->Send("x", 1); }), "Connection not established for send");
}

TEST(Endpoint, CarriesARecordEndToEndAndCleansUp) {
    SocketManager& m = TestManager();
    std::int32_t before = m.SocketCount();
    Endpoint listener = Listener();
    Endpoint client(m.CreateSocket());
    client->Bind(0);
    client->Connect("127.0.0.1", BoundPort(listener.get()));
    EXPECT_TRUE(client->IsConnected());

    Endpoint accepted(listener->Accept());
    EXPECT_TRUE(accepted->IsConnected());
    EXPECT_FALSE(listener->IsConnected());
    EXPECT_EQ(m.SocketCount(), before + 3);

    unsigned char record[512];
    for (int i = 0; i < 512; ++i) record[i] = static_cast<unsigned char>(i * 7 + 1);
    client->Send(record, sizeof record);

    std::string got;
    const char* first = nullptr;
    while (got.size() < 512) {
        std::uint16_t length = 0;
        const char* data = accepted->Receive(length);
        ASSERT_GT(length, 0);
        if (!first) first = data;
        EXPECT_EQ(first, data);  // one buffer for the whole process
        for (std::size_t i = length; i < Socket::ReceiveBufferSize; ++i) ASSERT_EQ(data[i], 0) << i;
        got.append(data, length);
    }
    EXPECT_EQ(std::memcmp(got.data(), record, 512), 0);

    // The peer closes: an empty receive, no exception, the buffer all zero.
    EXPECT_EQ(client->Close(), 0);
    EXPECT_EQ(client->Close(), -1);
    EXPECT_TRUE(client->IsConnected());
    std::uint16_t length = 99;
    const char* data = accepted->Receive(length);
    EXPECT_EQ(length, 0);
    for (std::size_t i = 0; i < Socket::ReceiveBufferSize; ++i) ASSERT_EQ(data[i], 0) << i;

    // Closed but still marked connected: the send reaches the platform and fails.
    EXPECT_EQ(Raised([&] { client->Send(record, 512); }), "send failed! Socket operation on nonsocket");
    client.reset();
    accepted.reset();
    listener.reset();
    EXPECT_EQ(m.SocketCount(), before);
}

TEST(Endpoint, SendToAPeerThatHasGoneIsAnErrorNotACrash) {
    Endpoint listener = Listener();
    Endpoint client(TestManager().CreateSocket());
    client->Connect("127.0.0.1", BoundPort(listener.get()));
    Endpoint accepted(listener->Accept());
    accepted.reset();  // the server side goes away
    std::string raised;
    char block[4096] = {};
    for (int i = 0; i < 200 && raised.empty(); ++i) {
        try {
            client->Send(block, sizeof block);
        } catch (const CExcept& e) {
            raised = e.GetText();
        }
        SleepMs(5);
    }
    EXPECT_EQ(raised.rfind("send failed! ", 0), 0u) << raised;
}

TEST(Endpoint, PendingBytesQueryCountsWaitingBytes) {
    Endpoint listener = Listener();
    RawClient raw;
    ASSERT_TRUE(raw.Connect(BoundPort(listener.get())));
    Endpoint accepted(listener->Accept());
    ASSERT_TRUE(raw.Send("hello", 5));
    std::uint32_t waiting = 0;
    for (int i = 0; i < 100 && waiting == 0; ++i) {
        accepted->IoControl(SocketFionRead, &waiting);
        if (waiting == 0) SleepMs(10);
    }
    EXPECT_EQ(waiting, 5u);
}

TEST(Endpoint, ListenerPortCanBeBoundAgainAfterItsConnectionsClosed) {
    std::uint16_t port;
    {
        Endpoint listener = Listener();
        port = BoundPort(listener.get());
        RawClient raw;
        ASSERT_TRUE(raw.Connect(port));
        Endpoint accepted(listener->Accept());
        accepted.reset();  // the server closes first, leaving TIME_WAIT behind
        SleepMs(50);
    }
    Endpoint again(TestManager().CreateSocket());
    EXPECT_NO_THROW(again->Bind(port));
}
