// Messages between the Still Image client and the image-acquisition service
// host: one frame per request and per reply, a 32-bit length then the body,
// every field fixed-width little-endian, so 32- and 64-bit processes are
// alike. Requests carry sizes and bytes, never pointers or raw records.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::sti {

// Bodies are bounded; a larger length ends the connection.
inline constexpr uint32_t kMaxFrame = 16u << 20;
// Data asked for in one request (reads, escape outputs).
inline constexpr uint32_t kMaxTransfer = kMaxFrame - 64;

enum class Op : uint32_t {
    Open = 1,            // wstring internal name, u32 mode
    GetCapabilities,     // -> u32 generic caps
    GetStatus,           // u32 mask -> u32 online, hardware, events, polling
    DeviceReset,
    Diagnostic,          // u32 basic, u32 vendor -> u32 status mask, error info
    Escape,              // u32 code, bytes in, u32 out size, u8 has returned -> u32 returned, bytes out
    GetLastError,        // -> u32
    LockDevice,          // u32 time-out
    UnLockDevice,
    RawReadData,         // u32 length -> bytes
    RawWriteData,        // bytes
    RawReadCommand,      // u32 offset, u32 length, u32 index -> bytes
    RawWriteCommand,     // u32 offset, u32 index, bytes
    GetLastErrorInfo,    // -> u32 generic, u32 vendor, wstring text
    Stop,                // the host ends
    DevicesChanged,      // a device was installed: the host makes its monitor before it answers
};

class Writer {
public:
    Writer& U8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    Writer& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Writer& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    Writer& Bytes(std::span<const uint8_t> data) {
        U32(static_cast<uint32_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    // Wide text as 32-bit code units.
    Writer& WString(const std::wstring& text) {
        U32(static_cast<uint32_t>(text.size()));
        for (wchar_t c : text) U32(static_cast<uint32_t>(c));
        return *this;
    }
    const std::vector<uint8_t>& Body() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> body) : body_(body) {}
    bool Ok() const { return ok_; }
    uint8_t U8() {
        if (!Need(1)) return 0;
        return body_[at_++];
    }
    uint32_t U32() {
        if (!Need(4)) return 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(body_[at_ + i]) << (8 * i);
        at_ += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    std::vector<uint8_t> Bytes() {
        const uint32_t size = U32();
        if (!Need(size)) return {};
        std::vector<uint8_t> data(body_.begin() + at_, body_.begin() + at_ + size);
        at_ += size;
        return data;
    }
    std::wstring WString() {
        const uint32_t size = U32();
        if (size > (body_.size() - at_) / 4) {
            ok_ = false;
            return {};
        }
        std::wstring text;
        for (uint32_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(U32()));
        return text;
    }

private:
    bool Need(size_t n) {
        if (!ok_ || body_.size() - at_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    std::span<const uint8_t> body_;
    size_t at_ = 0;
    bool ok_ = true;
};

inline bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

inline bool ReadAll(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

inline bool SendFrame(int fd, const std::vector<uint8_t>& body) {
    uint8_t header[4];
    const auto size = static_cast<uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) header[i] = static_cast<uint8_t>(size >> (8 * i));
    return WriteAll(fd, header, 4) && WriteAll(fd, body.data(), body.size());
}

inline std::optional<std::vector<uint8_t>> ReceiveFrame(int fd) {
    uint8_t header[4];
    if (!ReadAll(fd, header, 4)) return std::nullopt;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(header[i]) << (8 * i);
    if (size > kMaxFrame) return std::nullopt;
    std::vector<uint8_t> body(size);
    if (!ReadAll(fd, body.data(), size)) return std::nullopt;
    return body;
}

// The host's endpoint and its locks under the machine's root.
inline std::string ServicesFolder(const std::string& root) { return root + "/services"; }
inline std::string SocketPath(const std::string& root) { return ServicesFolder(root) + "/imgsvc"; }
inline std::string HostLockPath(const std::string& root) { return ServicesFolder(root) + "/imgsvc.lock"; }
inline std::string StartLockPath(const std::string& root) { return ServicesFolder(root) + "/imgsvc.start"; }
inline std::string LogPath(const std::string& root) { return ServicesFolder(root) + "/imgsvc.log"; }

// A connected stream socket, or -1.
inline int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace platform::sti
