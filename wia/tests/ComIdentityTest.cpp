// The module's class object, the factory and the device object's identity:
// interfaces answered, aggregation, reference counts of the three views,
// destruction at zero and the module's unload answer.
#include "MinidriverSupport.h"

namespace {

using namespace wiatest;

struct FactoryCase {
    const char* name;
    CLSID clsid;
    IID iid;
    HRESULT expected;
};

TEST(ComIdentity, ClassObjectAnswersOnlyItsClassAndTheFactoryInterfaces) {
    DriverModule module;
    ASSERT_TRUE(module.Loaded());
    const FactoryCase cases[] = {
        {"factory", kDeviceClass, IID_IClassFactory, S_OK},
        {"unknown", kDeviceClass, IID_IUnknown, S_OK},
        {"device interface from the factory", kDeviceClass, IID_IStiUSD, E_NOINTERFACE},
        {"other class", IID_IStiUSD, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(module.GetClassObject(c.clsid, c.iid, &out), c.expected) << c.name;
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(out, nullptr) << c.name;
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << c.name;
        } else {
            EXPECT_EQ(out, nullptr) << c.name;
        }
    }
    EXPECT_EQ(module.GetClassObject(kDeviceClass, IID_IClassFactory, nullptr), E_INVALIDARG);
}

TEST(ComIdentity, FactoryCreatesEachViewAndRefusesAggregationForOtherInterfaces) {
    DriverModule module;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(module.GetClassObject(kDeviceClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    struct Case {
        const char* name;
        bool aggregated;
        IID iid;
        HRESULT expected;
    };
    IUnknown* outer = module.CreateDevice();  // any unknown stands for an outer object here
    ASSERT_NE(outer, nullptr);
    const Case cases[] = {
        {"unknown", false, IID_IUnknown, S_OK},
        {"still image driver", false, IID_IStiUSD, S_OK},
        {"WIA minidriver", false, IID_IWiaMiniDrv, S_OK},
        {"class factory", false, IID_IClassFactory, E_NOINTERFACE},
        {"aggregated unknown", true, IID_IUnknown, S_OK},
        {"aggregated driver", true, IID_IStiUSD, CLASS_E_NOAGGREGATION},
    };
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(c.aggregated ? outer : nullptr, c.iid, &out), c.expected) << c.name;
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(out, nullptr);
            // The creation reference is gone: the caller's is the only one.
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << c.name;
        } else {
            EXPECT_EQ(out, nullptr) << c.name;
        }
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
    outer->Release();
    factory->Release();
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(ComIdentity, ViewsShareOneCountAndTheModuleStaysWhileAnyObjectLives) {
    DriverModule module;
    IUnknown* unknown = module.CreateDevice();
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    IStiUSD* sti = nullptr;
    IWiaMiniDrv* wia = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IStiUSD, reinterpret_cast<void**>(&sti)), S_OK);
    ASSERT_EQ(sti->QueryInterface(IID_IWiaMiniDrv, reinterpret_cast<void**>(&wia)), S_OK);
    EXPECT_EQ(unknown->AddRef(), 4u);
    EXPECT_EQ(unknown->Release(), 3u);
    IUnknown* again = nullptr;
    ASSERT_EQ(wia->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, unknown) << "every view answers the one identity";
    EXPECT_EQ(again->Release(), 3u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(sti->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(sti->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(wia->Release(), 2u);
    EXPECT_EQ(sti->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(unknown->Release(), 0u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

// An outer object that counts the calls its inner object forwards.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    IUnknown* inner = nullptr;
    int queries = 0;
    ULONG references = 1;
};

TEST(ComIdentity, AggregatedViewsForwardToTheOuterObject) {
    DriverModule module;
    Outer outer;
    outer.inner = module.CreateDevice(&outer);
    ASSERT_NE(outer.inner, nullptr);
    IStiUSD* sti = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IStiUSD, reinterpret_cast<void**>(&sti)), S_OK);
    EXPECT_EQ(outer.references, 2u) << "the view's reference is the outer object's";
    IUnknown* identity = nullptr;
    ASSERT_EQ(sti->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(outer.queries, 1);
    identity->Release();
    sti->Release();
    EXPECT_EQ(outer.references, 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(ComIdentity, ServerLocksKeepTheModuleAndTheWiaFaceAnswers) {
    DriverModule module;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(module.GetClassObject(kDeviceClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    IUnknown* unknown = module.CreateDevice();
    IWiaMiniDrv* wia = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IWiaMiniDrv, reinterpret_cast<void**>(&wia)), S_OK);
    LONG error = 0;
    // No device lock to take before drvInitializeWia has handed one over.
    EXPECT_EQ(wia->drvLockWiaDevice(nullptr, 0, &error), E_FAIL);
    wia->Release();
    unknown->Release();
    ASSERT_EQ(module.GetClassObject(kDeviceClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(ComIdentity, CoCreateInstanceFindsTheRegisteredServerAndFreesItWhenUnused) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{4161996E-4020-4EEA-8C0B-AE438253EF01}\\InprocServer32", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char module[] = "PelidorW.dll";
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(module), sizeof module);
    RegCloseKey(key);

    IStiUSD* sti = nullptr;
    EXPECT_EQ(CoCreateInstance(kDeviceClass, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD,
                               reinterpret_cast<void**>(&sti)),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    Outer outer;
    EXPECT_EQ(CoCreateInstance(kDeviceClass, &outer, CLSCTX_INPROC_SERVER, IID_IStiUSD,
                               reinterpret_cast<void**>(&sti)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(CoCreateInstance(kDeviceClass, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD,
                               reinterpret_cast<void**>(&sti)),
              S_OK);
    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandleA("PelidorW.dll"), nullptr) << "a live object keeps its module";
    EXPECT_EQ(sti->Release(), 0u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleA("PelidorW.dll"), nullptr);
    CLSID unregistered = kDeviceClass;
    unregistered.Data1 ^= 1;
    EXPECT_EQ(CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD,
                               reinterpret_cast<void**>(&sti)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(sti, nullptr);
    CoUninitialize();
}

}  // namespace
