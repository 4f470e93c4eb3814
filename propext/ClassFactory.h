// The class object of one of the module's classes: creates it without
// aggregation and keeps the module loaded while locked.
#pragma once

#include <unknwn.h>

#include <atomic>
#include <new>

class ClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID riid, void** ppv);

    explicit ClassFactory(Creator creator);
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHOD(LockServer)(BOOL lock) override;

private:
    ~ClassFactory();
    std::atomic<ULONG> m_refs{1};
    Creator m_creator;
};

// A new object of class T answering `riid`; the creation reference is
// dropped, so the caller's is the only one.
template <typename T, typename Interface>
HRESULT CreateObject(REFIID riid, void** ppv) {
    T* object = new (std::nothrow) T;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = static_cast<Interface*>(object)->QueryInterface(riid, ppv);
    static_cast<Interface*>(object)->Release();
    return result;
}
