// The data source in our Source Manager as an application uses it:
// notifications through a callback or the next MSG_PROCESSEVENT, and the
// source closed and opened again five times in one process, also where the
// Source Manager frees with free() and unloads the source at every close.
#include "ChildPrograms.h"
#include "SourceHarness.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace twain_test {
namespace {

using siscan_test::Emulator;

std::vector<TW_UINT16> callbackMessages;
// What the source answered when the callback asked it for its pending
// transfers: the source is past its own call and ready to transfer.
TW_UINT16 pendingSeenByCallback = 0xFFFF;
class Application;
Application* callbackApplication = nullptr;

TW_UINT16 Callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF);

class Application {
public:
    Application()
    {
        module_ = LoadLibraryA("TWAIN_32.DLL");
        if (module_ == nullptr) return;
        using Generic = void (*)();
        dsm_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<Generic>(GetProcAddress(module_, "DSM_Entry")));
        app.ProtocolMajor = 2;
        app.ProtocolMinor = 4;
        app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
        std::strcpy(app.ProductName, "ManagerTest");
    }
    ~Application()
    {
        if (dsm_ != nullptr && source.Id != 0) CloseSource();
        if (dsm_ != nullptr) Manager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
        if (module_ != nullptr) FreeLibrary(module_);
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    TW_UINT16 Manager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return dsm_(&app, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 Source(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return dsm_(&app, &source, dg, dat, msg, data);
    }
    bool Open()
    {
        if (dsm_ == nullptr || Manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS) return false;
        entry.Size = sizeof entry;
        return Manager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry) == TWRC_SUCCESS;
    }
    TW_UINT16 OpenSource()
    {
        source = TW_IDENTITY{};
        std::strcpy(source.ProductName, "RM310");
        return Manager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source);
    }
    TW_UINT16 CloseSource()
    {
        const TW_UINT16 rc = Manager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
        source.Id = 0;
        return rc;
    }
    TW_UINT16 SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value)
    {
        TW_CAPABILITY c{};
        c.Cap = cap;
        c.ConType = TWON_ONEVALUE;
        c.hContainer = entry.DSM_MemAllocate(sizeof(TW_ONEVALUE));
        auto* one = static_cast<pTW_ONEVALUE>(entry.DSM_MemLock(c.hContainer));
        one->ItemType = type;
        one->Item = value;
        entry.DSM_MemUnlock(c.hContainer);
        const TW_UINT16 rc = Source(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
        entry.DSM_MemFree(c.hContainer);
        return rc;
    }
    TW_UINT16 Enable()
    {
        TW_USERINTERFACE ui{};
        ui.hParent = &parent;
        return Source(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 ProcessEvent(TW_UINT16* message)
    {
        TW_EVENT event{};
        const TW_UINT16 rc = Source(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        *message = event.TWMessage;
        return rc;
    }

    TW_IDENTITY app{};
    TW_IDENTITY source{};
    TW_ENTRYPOINT entry{};
    int parent = 0;

private:
    HMODULE module_ = nullptr;
    DSMENTRYPROC dsm_ = nullptr;
};

TW_UINT16 Callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF)
{
    if (dat != DAT_NULL) return TWRC_FAILURE;
    callbackMessages.push_back(msg);
    if (msg == MSG_XFERREADY && callbackApplication != nullptr) {
        TW_PENDINGXFERS pending{};
        if (callbackApplication->Source(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending) == TWRC_SUCCESS) {
            pendingSeenByCallback = pending.Count;
        }
    }
    return TWRC_SUCCESS;
}

class SourceManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDirectPortModel();
        ::unsetenv("PLATFORM_TWAIN_FREE_MODE");
        callbackMessages.clear();
        pendingSeenByCallback = 0xFFFF;
        callbackApplication = nullptr;
    }
    void TearDown() override { ::unsetenv("PLATFORM_TWAIN_FREE_MODE"); }

    static TW_UINT16 Condition(Application& app)
    {
        TW_STATUS status{};
        app.Source(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }

    // One page by native transfer; its DIB header (40 bytes).
    std::vector<uint8_t> AcquireOnePage(Application& app)
    {
        EXPECT_EQ(app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
        EXPECT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        EXPECT_EQ(app.Enable(), TWRC_SUCCESS);
        TW_UINT16 message = MSG_NULL;
        EXPECT_EQ(app.ProcessEvent(&message), TWRC_DSEVENT) << Condition(app);
        EXPECT_EQ(message, MSG_XFERREADY);
        TW_HANDLE dib = nullptr;
        EXPECT_EQ(app.Source(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        std::vector<uint8_t> header;
        if (dib != nullptr) {
            const auto* bytes = static_cast<const uint8_t*>(app.entry.DSM_MemLock(dib));
            header.assign(bytes, bytes + 40);
            app.entry.DSM_MemUnlock(dib);
            app.entry.DSM_MemFree(dib);
        }
        TW_PENDINGXFERS pending{};
        EXPECT_EQ(app.Source(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        EXPECT_EQ(pending.Count, 0);
        // The close request, once.
        EXPECT_EQ(app.ProcessEvent(&message), TWRC_DSEVENT);
        EXPECT_EQ(message, MSG_CLOSEDSREQ);
        EXPECT_EQ(app.ProcessEvent(&message), TWRC_NOTDSEVENT);
        EXPECT_EQ(message, MSG_NULL);
        TW_USERINTERFACE ui{};
        EXPECT_EQ(app.Source(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
        return header;
    }

    void OpenFiveTimes()
    {
        Emulator scanner("RM310-GL841", std::vector<std::string>(5, SamplePage()));
        ASSERT_TRUE(scanner.Ready());
        Application app;
        ASSERT_TRUE(app.Open());
        std::vector<uint8_t> first;
        for (int round = 0; round < 5; ++round) {
            ASSERT_EQ(app.OpenSource(), TWRC_SUCCESS) << "round " << round;
            const std::vector<uint8_t> header = AcquireOnePage(app);
            ASSERT_EQ(header.size(), 40u) << "round " << round;
            if (round == 0) first = header;
            EXPECT_EQ(header, first) << "round " << round;
            EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS) << "round " << round;
        }
        EXPECT_EQ(scanner.Violations(), 0);
    }
};

TEST_F(SourceManager, SourcesAreFoundAndOpenedByName)
{
    Application app;
    ASSERT_TRUE(app.Open());
    TW_IDENTITY found{};
    ASSERT_EQ(app.Manager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &found), TWRC_SUCCESS);
    EXPECT_STREQ(found.ProductName, "RM310");
    EXPECT_EQ(app.Manager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &found), TWRC_ENDOFLIST);
    // No scanner: the source opens all the same; enabling says why it cannot scan.
    platform::testing::QueueMessageBoxAnswer(IDOK);
    ASSERT_EQ(app.OpenSource(), TWRC_SUCCESS);
    EXPECT_NE(app.source.Id, 0u);
    EXPECT_EQ(app.Enable(), TWRC_FAILURE);
    TW_STATUS status{};
    app.Source(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    EXPECT_EQ(status.ConditionCode, TWCC_OPERATIONERROR);
    const auto boxes = platform::testing::MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "RM310");
    EXPECT_EQ(boxes.back().text.rfind("The scan was aborted because the scanner is not powered on", 0), 0u);
    EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS);
}

TEST_F(SourceManager, NotificationsThroughTheCallbackAfterTheCall)
{
    Emulator scanner("RM310-GL841", {SamplePage()});
    ASSERT_TRUE(scanner.Ready());
    Application app;
    ASSERT_TRUE(app.Open());
    ASSERT_EQ(app.OpenSource(), TWRC_SUCCESS);
    callbackApplication = &app;
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&Callback);
    ASSERT_EQ(app.Source(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback), TWRC_SUCCESS);
    ASSERT_EQ(app.SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(), TWRC_SUCCESS);
    EXPECT_EQ(callbackMessages, std::vector<TW_UINT16>{MSG_XFERREADY});
    EXPECT_EQ(pendingSeenByCallback, 1) << "the callback could not use the source";
    TW_HANDLE dib = nullptr;
    ASSERT_EQ(app.Source(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    app.entry.DSM_MemFree(dib);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app.Source(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    TW_UINT16 message = MSG_NULL;
    EXPECT_EQ(app.ProcessEvent(&message), TWRC_NOTDSEVENT);
    EXPECT_EQ(app.ProcessEvent(&message), TWRC_NOTDSEVENT);
    EXPECT_EQ(callbackMessages, (std::vector<TW_UINT16>{MSG_XFERREADY, MSG_CLOSEDSREQ}));
    EXPECT_EQ(app.CloseSource(), TWRC_SUCCESS);
    callbackApplication = nullptr;
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST_F(SourceManager, CloseAndOpenFiveTimes)
{
    OpenFiveTimes();
}

// As the Linux Source Manager does: containers and native handles freed with
// free(), and the source unloaded after every query and at every close.
TEST_F(SourceManager, CloseAndOpenFiveTimesWhereEveryCloseUnloads)
{
    ::setenv("PLATFORM_TWAIN_FREE_MODE", "1", 1);
    OpenFiveTimes();
}

}  // namespace
}  // namespace twain_test
