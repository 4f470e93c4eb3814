// The application object: dispatch, states and the control triplets.
#include "TwainSource.h"

#include "PageStore.h"
#include "ScannerDataStage.h"

#include <MessageTable.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

constexpr char kCaption[] = "RM310";
constexpr char kLibraryFile[] = "Pelidor.dll";

// Message rows.
constexpr int kRowInsertItem = 1;
constexpr int kRowPaperNotDetected = 2;
constexpr int kRowLibraryNotLoaded = 6;
constexpr int kRowScannerNotReady = 7;
constexpr int kRowCancelled = 8;
constexpr int kRowFileError = 9;
constexpr int kRowNoMemory = 10;
constexpr int kRowImageProcessing = 90;

// Once the scanner library was found, identity requests no longer search.
bool libraryFound = false;

// The registered window message "RM310", posted to the parent after the
// last transfer of an acquisition.
UINT transferDoneMessage = 0;

// The source's own identifier, carried in the last 16 bytes of Version.Info.
constexpr std::array<uint8_t, 16> kSourceGuid{0x5d, 0x3b, 0x81, 0x2e, 0x94, 0x17, 0x4c, 0x6a,
                                              0xb2, 0x0f, 0x61, 0xd8, 0x7e, 0xa5, 0x33, 0xc9};

using T = TwainSource;
constexpr int16_t kAny = 3;

// Every triplet with the states it is accepted in.
const std::array<TwainSource::Route, 33> kRoutes{{
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7, &T::CapabilityGet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, 4, 7, &T::CapabilityGet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, 4, 7, &T::CapabilityGet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, 4, 7, &T::CapabilityGet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4, &T::CapabilitySet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4, &T::CapabilitySet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, kAny, 7, &T::CapabilityResetAll},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 5, 7, &T::ProcessEvent},
    {DG_CONTROL, DAT_IDENTITY, MSG_GET, kAny, 7, &T::Identity},
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 3, 3, &T::OpenSource},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, kAny, 7, &T::CloseSource},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, kAny, 7, &T::EntryPoint},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, 4, 7, &T::PendingGet},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 6, 7, &T::EndTransfer},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 6, 7, &T::ResetTransfers},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6, &T::SetupMemory},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, 4, 6, &T::SetupFile},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, 4, 6, &T::SetupFile},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, 4, 6, &T::SetupFile},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, 4, 4, &T::SetupFile},
    {DG_CONTROL, DAT_STATUS, MSG_GET, kAny, 7, &T::Status},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4, &T::Enable},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, 4, 4, &T::Enable},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 7, &T::Disable},
    {DG_CONTROL, DAT_XFERGROUP, MSG_GET, 4, 7, &T::TransferGroup},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7, &T::ImageInfo},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, 4, 6, &T::ImageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, 4, 6, &T::ImageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, 4, 4, &T::ImageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, 4, 4, &T::ImageLayout},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, 6, 7, &T::MemoryTransfer},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, 6, 6, &T::NativeTransfer},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, 6, 6, &T::FileTransfer},
}};

// The folder this module was loaded from.
std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    HMODULE self = GetModuleHandleA("Pelidor.ds");
    const DWORD length = GetModuleFileNameA(self, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

void CopyText(char* to, size_t size, const char* text)
{
    std::strncpy(to, text, size - 1);
    to[size - 1] = '\0';
}

}  // namespace

TwainSource::TwainSource() = default;

TwainSource::~TwainSource()
{
    // A process that ends with the source open leaves the library to its own
    // teardown; only the pipeline's buffers go here.
}

TW_UINT16 TwainSource::Fail(TW_UINT16 code)
{
    conditionCode_ = code;
    conditionData_ = 0;
    return TWRC_FAILURE;
}

TW_UINT16 TwainSource::Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    dg &= DG_MASK;
    const bool statusOrEvent = (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) ||
                               (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT);
    // The progress of a running transfer pumps the application's messages:
    // nothing but status and events may come in until it returns.
    if (transferRunning_ && !statusOrEvent) {
        return Fail(TWCC_SEQERROR);
    }
    const Route* found = nullptr;
    for (const Route& route : kRoutes) {
        if (route.handler != nullptr && route.dg == dg && route.dat == dat && route.msg == msg) {
            found = &route;
            break;
        }
    }
    if (found == nullptr) {
        return Fail(TWCC_BADPROTOCOL);
    }
    if (state_ < found->firstState || state_ > found->lastState) {
        return Fail(TWCC_SEQERROR);
    }
    if (state_ >= 6 && (dg == DG_IMAGE || dat == DAT_SETUPMEMXFER) && pipeline_.Output() != nullptr) {
        // Learning the page's length may read the whole sheet ahead (paper-end
        // detection), with the progress pumping messages as in a transfer.
        transferRunning_ = true;
        pipeline_.Output()->Rows();
        transferRunning_ = false;
    }
    origin_ = origin;
    const TW_UINT16 result = (this->*(found->handler))(msg, data);
    origin_ = nullptr;
    return result;
}

// ---- identity, open and close ----

TW_UINT16 TwainSource::Identity(TW_UINT16, TW_MEMREF data)
{
    auto* identity = static_cast<pTW_IDENTITY>(data);
    if (identity == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    if (!libraryFound) {
        char path[MAX_PATH];
        libraryFound = SearchPathA(nullptr, kLibraryFile, nullptr, sizeof path, path, nullptr) != 0;
        if (!libraryFound) {
            std::memset(identity, 0, sizeof *identity);
            return Fail(TWCC_BUMMER);
        }
    }
    TW_IDENTITY out{};
    out.Id = 0;
    out.Version.MajorNum = 3;
    out.Version.MinorNum = 4;
    out.Version.Language = TWLG_USA;
    out.Version.Country = TWCY_USA;
    CopyText(out.Version.Info, sizeof out.Version.Info, "3.4.3.11");
    std::memcpy(out.Version.Info + sizeof out.Version.Info - kSourceGuid.size(), kSourceGuid.data(),
                kSourceGuid.size());
    out.ProtocolMajor = 1;
    out.ProtocolMinor = 9;
    out.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(out.Manufacturer, sizeof out.Manufacturer, "Tessaline Corp.");
    CopyText(out.ProductFamily, sizeof out.ProductFamily, "RMX");
    CopyText(out.ProductName, sizeof out.ProductName, "RM310");
    *identity = out;
    return TWRC_SUCCESS;
}

bool TwainSource::OpenScanner()
{
    if (library_.OpenScannerInterface(ScannerLibraryBinding::ModelName()) != 0) {
        return false;
    }
    deviceOpen_ = 1;
    library_.ReadResolutionList(resolutions_);
    return true;
}

TW_UINT16 TwainSource::OpenSource(TW_UINT16, TW_MEMREF data)
{
    auto* identity = static_cast<pTW_IDENTITY>(data);
    if (identity == nullptr || origin_ == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    // Copies: a Source Manager may pass the application's identity on its stack.
    appIdentity_ = *origin_;
    sourceIdentity_ = *identity;

    const std::string previousProfile = profile_.Path();
    profile_.SetPath(SettingsProfile::DefaultPath(OwnFolder()));
    libraryModule_ = LoadLibraryA(kLibraryFile);
    if (libraryModule_ == nullptr) {
        profile_.SetPath(previousProfile);
        ShowMessage(kRowLibraryNotLoaded, MB_ICONEXCLAMATION);
        return Fail(TWCC_OPERATIONERROR);
    }
    if (!library_.Bind(libraryModule_)) {
        profile_.SetPath(previousProfile);
        FreeLibrary(libraryModule_);
        libraryModule_ = nullptr;
        return Fail(TWCC_BUMMER);
    }
    deviceOpen_ = 0;
    OpenScanner();
    ResetCapabilities();
    OpenProfile();
    state_ = 4;
    pendingXfers_ = 0;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::CloseSource(TW_UINT16, TW_MEMREF)
{
    if (state_ == 3) {
        return TWRC_SUCCESS;
    }
    EndPipeline();
    if (libraryModule_ != nullptr) {
        library_.EndScanSession();
        if (deviceOpen_ != 0) {
            library_.CloseScannerInterface();
        }
        library_.Unbind();
        FreeLibrary(libraryModule_);
        libraryModule_ = nullptr;
    }
    deviceOpen_ = 0;
    parentWindow_ = nullptr;
    CloseProfile();
    state_ = 3;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::EntryPoint(TW_UINT16, TW_MEMREF)
{
    return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 TwainSource::Status(TW_UINT16, TW_MEMREF data)
{
    auto* status = static_cast<pTW_STATUS>(data);
    if (status == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    status->ConditionCode = conditionCode_;
    status->Reserved = conditionData_;
    conditionCode_ = TWCC_SUCCESS;
    conditionData_ = 0;
    return TWRC_SUCCESS;
}

// ---- events, enabling, transfers pending ----

TW_UINT16 TwainSource::ProcessEvent(TW_UINT16, TW_MEMREF data)
{
    auto* event = static_cast<pTW_EVENT>(data);
    if (event == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    event->TWMessage = MSG_NULL;
    if (state_ == 5 && closeRequestPending_) {
        closeRequestPending_ = false;
        NotifyApplication(MSG_CLOSEDSREQ);
    }
    return TWRC_NOTDSEVENT;
}

TW_UINT16 TwainSource::PendingGet(TW_UINT16, TW_MEMREF data)
{
    auto* pending = static_cast<pTW_PENDINGXFERS>(data);
    if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    pending->Count = static_cast<TW_UINT16>(pendingXfers_);
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::EndTransfer(TW_UINT16, TW_MEMREF data)
{
    auto* pending = static_cast<pTW_PENDINGXFERS>(data);
    if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    pipeline_.FinishPage();
    if (pendingXfers_ > 0) {
        --pendingXfers_;
    }
    if (pendingXfers_ > 0 || pendingXfers_ == -1) {
        pipeline_.StartPage(1);
        stripRowsDone_ = 0;
        state_ = 6;
    } else {
        EndPipeline();
        state_ = 5;
        if (transferDoneMessage == 0) {
            transferDoneMessage = RegisterWindowMessageA(kCaption);
        }
        if (parentWindow_ != nullptr) {
            PostMessageA(parentWindow_, transferDoneMessage, 0, 0);
        }
        closeRequestPending_ = true;
    }
    pending->Count = static_cast<TW_UINT16>(pendingXfers_);
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::ResetTransfers(TW_UINT16, TW_MEMREF data)
{
    auto* pending = static_cast<pTW_PENDINGXFERS>(data);
    if (pending == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    EndPipeline();
    pendingXfers_ = 0;
    pending->Count = 0;
    state_ = 5;
    NotifyApplication(MSG_CLOSEDSREQ);
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::Enable(TW_UINT16 msg, TW_MEMREF data)
{
    auto* ui = static_cast<pTW_USERINTERFACE>(data);
    if (ui == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    if (deviceOpen_ == 0 && !OpenScanner()) {
        ShowMessage(kRowScannerNotReady, MB_ICONEXCLAMATION);
        return Fail(TWCC_OPERATIONERROR);
    }
    parentWindow_ = static_cast<HWND>(ui->hParent);
    uiMode_ = msg == MSG_ENABLEDSUIONLY ? 1 : ui->ShowUI ? 2 : 0;
    if (uiMode_ != 0) {
        // The property sheet is not part of this source yet: it cannot be made.
        ui->ModalUI = TRUE;
        return Fail(TWCC_LOWMEMORY);
    }
    if (!PrepareScan()) {
        return Fail(TWCC_OPERATIONERROR);
    }
    state_ = 5;
    const int code = StartAcquisition();
    if (code != 0) {
        state_ = 4;
        ShowScanError(code);
        return Fail(TWCC_OPERATIONERROR);
    }
    state_ = 6;
    closeRequestPending_ = false;
    NotifyApplication(MSG_XFERREADY);
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::Disable(TW_UINT16, TW_MEMREF)
{
    // A scan left in states 6 and 7 is ended and its sheet ejected.
    EndPipeline();
    pendingXfers_ = 0;
    parentWindow_ = nullptr;
    state_ = 4;
    return TWRC_SUCCESS;
}

TW_UINT16 TwainSource::TransferGroup(TW_UINT16, TW_MEMREF data)
{
    if (data == nullptr) {
        return Fail(TWCC_BADVALUE);
    }
    *static_cast<TW_UINT32*>(data) = DG_IMAGE;
    return TWRC_SUCCESS;
}

// ---- profile ----

void TwainSource::OpenProfile()
{
    profileSection_ = MakeProfileSection(std::string_view(appIdentity_.ProductName,
                                                          strnlen(appIdentity_.ProductName, sizeof appIdentity_.ProductName)));
    settings_ = profile_.Load(profileSection_, resolutions_);
}

void TwainSource::CloseProfile()
{
    // The next application's settings come from its own section.
    profile_.SetPath(std::string());
}

// ---- acquisition ----

bool TwainSource::PrepareScan()
{
    // Calibration when needed runs in its dialog, which comes with the
    // calibration user interface; until then the scanner scans as it is.
    if (!library_.IsPaperLoaded()) {
        if (MessageBoxA(parentWindow_, MessageText(kRowInsertItem).c_str(), kCaption, MB_OKCANCEL) != IDOK) {
            return false;
        }
        if (!library_.IsPaperLoaded() &&
            MessageBoxA(parentWindow_, MessageText(kRowPaperNotDetected).c_str(), kCaption,
                        MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            return false;
        }
    }
    return true;
}

int TwainSource::StartAcquisition()
{
    if (!library_.WaitScannerReady()) {
        return kScanErrorDevice;
    }
    settings_.dpi = static_cast<int16_t>(CurrentResolution());
    if (pipeline_.Built()) {
        return kScanErrorDevice;
    }
    try {
        pipeline_.SetError(0);
        auto data = std::make_unique<ScannerDataStage>(library_, pipeline_, eopExtra_);
        PipelineStage& scanner = *data;
        int built = pipeline_.Add(std::move(data), settings_, indicators_, parentWindow_);
        if (built == 0 && settings_.detectEop != 0) {
            // The paper decides the length: the page is read ahead into the
            // store, so that every transfer knows it before the first row.
            built = pipeline_.Add(std::make_unique<PageStore>(scanner, pipeline_), settings_, indicators_,
                                  parentWindow_);
        }
        if (built != 0) {
            pipeline_.End();
            // A refused property or a failing device is the scanner's
            // failure, not a lack of memory.
            return kScanErrorDevice;
        }
        pipeline_.MarkBuilt();
        pipeline_.StartPage(0);
    } catch (const std::bad_alloc&) {
        pipeline_.End();
        return kScanErrorMemory;
    }
    stripRowsDone_ = 0;
    pendingXfers_ = 1;
    if (settings_.duplex != 0) {
        pendingXfers_ = (xferCount_ == -1 || xferCount_ >= 2) ? 2 : xferCount_;
    }
    return 0;
}

void TwainSource::EndPipeline()
{
    pipeline_.End();
    pipeline_.SetError(0);
    library_.EndScanSession();
}

void TwainSource::NotifyApplication(TW_UINT16 msg)
{
    sourceManager_.DsmEntry(&sourceIdentity_, &appIdentity_, DG_CONTROL, DAT_NULL, msg, nullptr);
}

void TwainSource::ShowMessage(int row, UINT icon)
{
    MessageBoxA(parentWindow_, MessageText(row).c_str(), kCaption, MB_OK | icon);
}

void TwainSource::ShowScanError(int code)
{
    int row = -1;
    switch (code) {
    case kScanErrorDevice:
        row = kRowScannerNotReady;
        break;
    case kScanErrorCancelled:
        row = kRowCancelled;
        break;
    case kScanErrorFile:
        row = kRowFileError;
        break;
    case kScanErrorMemory:
        row = kRowNoMemory;
        break;
    case kScanErrorImageProcessing:
        row = kRowImageProcessing;
        break;
    default:
        break;
    }
    const std::string text = row >= 0 ? MessageText(row) : std::string("Inscrutible error");
    MessageBoxA(parentWindow_, text.c_str(), kCaption, MB_OK | MB_ICONEXCLAMATION);
}
