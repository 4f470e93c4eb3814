// The socket server: framing, replies in any order, cancel, long paths,
// stale and live endpoints, unplug and plug.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "TransportDriver.h"

namespace emulator::testing {
namespace {

namespace fs = std::filesystem;

class TempRoot {
public:
    explicit TempRoot(const std::string& suffix = {})
    {
        std::string tmpl = (fs::temp_directory_path() / "emuchip-XXXXXX").string();
        const char* made = ::mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        base_ = tmpl;
        root_ = base_ / suffix;
        fs::create_directories(root_);
    }
    ~TempRoot()
    {
        std::error_code ec;
        fs::remove_all(base_, ec);
    }
    const fs::path& Path() const { return root_; }

private:
    fs::path base_;
    fs::path root_;
};

// A raw client speaking the wire protocol.
class RawClient {
public:
    explicit RawClient(const fs::path& endpoint)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int dir = ::open(endpoint.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::string path = endpoint.string();
        if (path.size() >= sizeof addr.sun_path)
            path = "/proc/self/fd/" + std::to_string(dir) + "/" + endpoint.filename().string();
        std::memcpy(addr.sun_path, path.c_str(), path.size());
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(dir);
    }
    ~RawClient() { ::close(fd_); }
    bool Connected() const { return connected_; }

    void Send(std::uint32_t id, std::uint32_t op, std::uint32_t code, std::vector<std::uint8_t> input,
              std::uint32_t outLength)
    {
        std::vector<std::uint8_t> frame;
        PutLe32(frame, 20 + static_cast<std::uint32_t>(input.size()));
        PutLe32(frame, id);
        PutLe32(frame, op);
        PutLe32(frame, code);
        PutLe32(frame, static_cast<std::uint32_t>(input.size()));
        PutLe32(frame, outLength);
        frame.insert(frame.end(), input.begin(), input.end());
        ASSERT_EQ(::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
    }

    struct Reply {
        std::uint32_t id, error, count;
        std::vector<std::uint8_t> data;
    };
    // nullopt at end of stream.
    std::optional<Reply> Receive()
    {
        std::vector<std::uint8_t> head(4);
        if (!ReadExact(head))
            return std::nullopt;
        std::vector<std::uint8_t> rest(Le32(head));
        if (!ReadExact(rest))
            return std::nullopt;
        return Reply{Le32(rest, 0), Le32(rest, 4), Le32(rest, 8), {rest.begin() + 12, rest.end()}};
    }

private:
    bool ReadExact(std::vector<std::uint8_t>& buf)
    {
        std::size_t got = 0;
        while (got < buf.size()) {
            const ssize_t n = ::read(fd_, buf.data() + got, buf.size() - got);
            if (n <= 0)
                return false;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }
    int fd_ = -1;
    bool connected_ = false;
};

std::vector<std::uint8_t> RegisterBlock(std::uint32_t request, std::uint32_t index, std::uint32_t length,
                                        std::vector<std::uint8_t> data = {})
{
    std::vector<std::uint8_t> in;
    PutLe32(in, request);
    PutLe32(in, index);
    PutLe32(in, length);
    in.insert(in.end(), data.begin(), data.end());
    return in;
}

class TransportSocket : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(scanner_.Violations().empty()) << ViolationText(scanner_); }
    TempRoot root_;
    VirtualScanner scanner_{"RM310-GL841", {{"clock", "virtual"}}};
};

TEST_F(TransportSocket, ServesTheDescriptorOnItsEndpoint)
{
    scanner_.Serve(root_.Path(), 3);
    EXPECT_EQ(scanner_.Endpoint(), root_.Path() / "devices" / "usbscan3");
    RawClient client(scanner_.Endpoint());
    ASSERT_TRUE(client.Connected());
    client.Send(11, 3, kIoctlGetDeviceDescriptor, std::vector<std::uint8_t>(8), 8);
    const auto r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 11u);
    EXPECT_EQ(r->error, 0u);
    EXPECT_EQ(r->count, 8u);
    EXPECT_EQ(r->data, (std::vector<std::uint8_t>{0xC4, 0x17, 0xF0, 0x00, 0x00, 0x01, 0x09, 0x04}));
}

TEST_F(TransportSocket, RepliesComeInAnyOrderAndCancelGetsNone)
{
    scanner_.Serve(root_.Path());
    RawClient client(scanner_.Endpoint());
    client.Send(1, 3, kIoctlWaitOnDeviceEvent, {}, 1);
    client.Send(2, 3, kIoctlWriteRegisters, RegisterBlock(0x83, 0, 2, {0x10, 0x33}), 0);
    auto r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 2u);
    EXPECT_EQ(r->count, 2u);
    EXPECT_TRUE(r->data.empty());
    client.Send(0, 4, 1, {}, 0);  // cancel the wait
    // Requests of one connection run in order: once this one is answered the
    // cancel has been taken.
    client.Send(3, 3, kIoctlReadRegisters, RegisterBlock(0x8E, 0, 1), 1);
    r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 3u);
    scanner_.Press();  // no waiter now: the byte queues
    client.Send(4, 3, kIoctlWaitOnDeviceEvent, {}, 1);
    r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 4u);
    EXPECT_EQ(r->data, std::vector<std::uint8_t>{2});
}

TEST_F(TransportSocket, BulkTransfersTravelWithTheirData)
{
    scanner_.Serve(root_.Path());
    RawClient client(scanner_.Endpoint());
    client.Send(1, 3, kIoctlWriteRegisters, RegisterBlock(0x83, 0, 1, {0x28}), 0);
    client.Send(2, 3, kIoctlWriteRegisters, RegisterBlock(0x82, 0, 8, Header(true, 3)), 0);
    client.Send(3, 2, 0, {9, 8, 7}, 0);
    for (std::uint32_t id = 1; id <= 3; ++id) {
        const auto r = client.Receive();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->error, 0u) << id;
    }
    client.Send(4, 3, kIoctlWriteRegisters, RegisterBlock(0x83, 0, 2, {0x5C, 0}), 0);
    client.Send(5, 3, kIoctlWriteRegisters, RegisterBlock(0x83, 0, 1, {0x4E}), 0);
    client.Send(6, 3, kIoctlWriteRegisters, RegisterBlock(0x82, 0, 8, Header(false, 3)), 0);
    client.Send(7, 1, 0, {}, 3);
    std::optional<RawClient::Reply> last;
    for (int i = 0; i < 4; ++i)
        last = client.Receive();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->id, 7u);
    EXPECT_EQ(last->count, 3u);
    EXPECT_EQ(last->data, (std::vector<std::uint8_t>{9, 8, 7}));
}

TEST(TransportSocketPath, LongRootsAreServedThroughTheFolder)
{
    TempRoot root(std::string(70, 'a') + "/" + std::string(60, 'b'));
    ASSERT_GT(root.Path().string().size(), 120u);
    VirtualScanner scanner("RM410", {{"clock", "virtual"}});
    scanner.Serve(root.Path());
    ASSERT_TRUE(fs::exists(scanner.Endpoint()));
    RawClient client(scanner.Endpoint());
    ASSERT_TRUE(client.Connected());
    client.Send(5, 3, kIoctlGetChannelAlignRqst, {}, 12);
    const auto r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->count, 12u);
}

TEST_F(TransportSocket, StaleEndpointIsReplacedLiveOneIsBusy)
{
    const fs::path devices = root_.Path() / "devices";
    fs::create_directories(devices);
    {
        // A socket left behind by a dead server.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = (devices / "usbscan0").string();
        std::memcpy(addr.sun_path, path.c_str(), path.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    scanner_.Serve(root_.Path());
    RawClient client(scanner_.Endpoint());
    EXPECT_TRUE(client.Connected());

    VirtualScanner second("RM410");
    try {
        second.Serve(root_.Path());
        ADD_FAILURE() << "a live endpoint was taken over";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "device busy");
    }
}

TEST_F(TransportSocket, UnplugClosesConnectionsAndRemovesTheEndpoint)
{
    scanner_.Serve(root_.Path());
    const fs::path endpoint = scanner_.Endpoint();
    RawClient client(endpoint);
    client.Send(1, 3, kIoctlWaitOnDeviceEvent, {}, 1);
    client.Send(2, 3, kIoctlReadRegisters, RegisterBlock(0x8E, 0, 1), 1);
    ASSERT_TRUE(client.Receive());  // the wait is pending now
    scanner_.Unplug();
    const auto r = client.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->error, kErrorDeviceNotConnected);
    EXPECT_FALSE(client.Receive());  // closed
    EXPECT_FALSE(fs::exists(endpoint));
    EXPECT_FALSE(RawClient(endpoint).Connected());

    scanner_.Plug();
    RawClient again(endpoint);
    ASSERT_TRUE(again.Connected());
    again.Send(2, 3, kIoctlGetDeviceDescriptor, std::vector<std::uint8_t>(8), 8);
    const auto d = again.Receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->error, 0u);

    scanner_.StopServing();
    EXPECT_FALSE(fs::exists(endpoint));
}

TEST_F(TransportSocket, ClosingAConnectionCancelsItsPendingRequests)
{
    scanner_.Serve(root_.Path());
    {
        RawClient client(scanner_.Endpoint());
        client.Send(1, 3, kIoctlWaitOnDeviceEvent, {}, 1);
        client.Send(2, 3, kIoctlReadRegisters, RegisterBlock(0x8E, 0, 1), 1);
        ASSERT_TRUE(client.Receive());
    }
    RawClient other(scanner_.Endpoint());
    other.Send(3, 3, kIoctlReadRegisters, RegisterBlock(0x8E, 0, 1), 1);
    ASSERT_TRUE(other.Receive());
    // The closed connection's wait is gone: the event reaches the new waiter.
    other.Send(4, 3, kIoctlWaitOnDeviceEvent, {}, 1);
    scanner_.Press();
    const auto r = other.Receive();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, 4u);
}

}  // namespace
}  // namespace emulator::testing
