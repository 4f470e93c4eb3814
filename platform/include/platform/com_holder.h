// A COM interface pointer released at the end of its scope, for the
// platform's hosts and the tests that call COM servers.
#pragma once

namespace platform {

template <typename T>
struct Held {
    T* p = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** Out() { return &p; }
    void** Raw() { return reinterpret_cast<void**>(&p); }
};

}  // namespace platform
