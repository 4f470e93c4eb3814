#include "TwainAcquire.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Messages the source sent, delivered through the callback.
TW_UINT16 receivedMessage = MSG_NULL;

TW_UINT16 Callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF)
{
    if (dat == DAT_NULL) receivedMessage = msg;
    return TWRC_SUCCESS;
}

// The maximum wait for the source's ready message.
constexpr DWORD kReadyWaitMs = 60000;

struct Failure {
    std::string step;
    TW_UINT16 code;
};

class Session {
public:
    Session() = default;
    ~Session() { Close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Load()
    {
        module_ = LoadLibraryA("TWAIN_32.DLL");
        if (module_ == nullptr) return false;
        using Generic = void (*)();
        dsm_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<Generic>(GetProcAddress(module_, "DSM_Entry")));
        return dsm_ != nullptr;
    }

    TW_UINT16 ToManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return dsm_(&app_, nullptr, dg, dat, msg, data);
    }
    TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
    {
        return dsm_(&app_, &source_, dg, dat, msg, data);
    }

    // The condition code of the last failure, from the source when one is open.
    TW_UINT16 Condition(bool fromSource)
    {
        TW_STATUS status{};
        if (fromSource) ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        else ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }

    bool OpenManager()
    {
        app_.Version.MajorNum = 1;
        app_.Version.Language = TWLG_USA;
        app_.Version.Country = TWCY_USA;
        std::strcpy(app_.Version.Info, "twacquire");
        app_.ProtocolMajor = 2;
        app_.ProtocolMinor = 4;
        app_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
        std::strcpy(app_.Manufacturer, "Pelidor tools");
        std::strcpy(app_.ProductFamily, "Examples");
        std::strcpy(app_.ProductName, "twacquire");
        if (ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_) != TWRC_SUCCESS) return false;
        managerOpen_ = true;
        entry_.Size = sizeof entry_;
        if ((app_.SupportedGroups & DF_DSM2) == 0 ||
            ToManager(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry_) != TWRC_SUCCESS) {
            entry_ = TW_ENTRYPOINT{};
        }
        return true;
    }

    bool FindSource(const std::string& name)
    {
        if (name.empty()) return ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source_) == TWRC_SUCCESS;
        TW_IDENTITY candidate{};
        for (TW_UINT16 msg = MSG_GETFIRST; ToManager(DG_CONTROL, DAT_IDENTITY, msg, &candidate) == TWRC_SUCCESS;
             msg = MSG_GETNEXT) {
            if (name == candidate.ProductName) {
                source_ = candidate;
                return true;
            }
        }
        return false;
    }

    bool OpenSource()
    {
        if (ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_) != TWRC_SUCCESS) return false;
        sourceOpen_ = true;
        TW_CALLBACK callback{};
        callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&Callback);
        callbackRegistered_ = ToSource(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback) == TWRC_SUCCESS;
        return true;
    }

    // Sets a capability to one value.
    TW_UINT16 SetCapability(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value)
    {
        TW_CAPABILITY capability{};
        capability.Cap = cap;
        capability.ConType = TWON_ONEVALUE;
        capability.hContainer = Allocate(sizeof(TW_ONEVALUE));
        auto* one = static_cast<pTW_ONEVALUE>(Lock(capability.hContainer));
        one->ItemType = type;
        std::memcpy(&one->Item, &value, sizeof value);
        Unlock(capability.hContainer);
        const TW_UINT16 rc = ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
        Free(capability.hContainer);
        return rc;
    }

    bool Enable()
    {
        TW_USERINTERFACE ui{};
        ui.ShowUI = FALSE;
        ui.hParent = &parent_;
        if (ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) return false;
        enabled_ = true;
        return true;
    }

    // Waits for MSG_XFERREADY (or a close request).
    TW_UINT16 WaitForMessage()
    {
        const DWORD start = GetTickCount();
        while (receivedMessage == MSG_NULL && GetTickCount() - start < kReadyWaitMs) {
            if (!callbackRegistered_) {
                TW_EVENT event{};
                if (ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT &&
                    event.TWMessage != MSG_NULL) {
                    receivedMessage = event.TWMessage;
                }
            }
            if (receivedMessage == MSG_NULL) Sleep(5);
        }
        const TW_UINT16 msg = receivedMessage;
        receivedMessage = MSG_NULL;
        return msg;
    }

    void Close()
    {
        if (enabled_) {
            TW_USERINTERFACE ui{};
            ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
            enabled_ = false;
        }
        if (sourceOpen_) {
            ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
            sourceOpen_ = false;
        }
        if (managerOpen_) {
            ToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_);
            managerOpen_ = false;
        }
        if (module_ != nullptr) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }

    // Memory as the Source Manager hands it out.
    TW_HANDLE Allocate(TW_UINT32 size)
    {
        return entry_.DSM_MemAllocate ? entry_.DSM_MemAllocate(size) : GlobalAlloc(GHND, size);
    }
    void Free(TW_HANDLE h)
    {
        if (entry_.DSM_MemFree) entry_.DSM_MemFree(h);
        else GlobalFree(h);
    }
    void* Lock(TW_HANDLE h) { return entry_.DSM_MemLock ? entry_.DSM_MemLock(h) : GlobalLock(h); }
    void Unlock(TW_HANDLE h)
    {
        if (entry_.DSM_MemUnlock) entry_.DSM_MemUnlock(h);
        else GlobalUnlock(h);
    }

private:
    HMODULE module_ = nullptr;
    DSMENTRYPROC dsm_ = nullptr;
    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    TW_ENTRYPOINT entry_{};
    int parent_ = 0;  // stands for the parent window
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    bool enabled_ = false;
    bool callbackRegistered_ = false;
};

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A BMP file of a packed DIB: the file header, then the DIB as it is.
bool WriteDib(const std::string& path, const uint8_t* dib, size_t size)
{
    if (size < 40) return false;
    uint32_t infoSize = 0;
    std::memcpy(&infoSize, dib, 4);
    uint16_t bits = 0;
    std::memcpy(&bits, dib + 14, 2);
    uint32_t used = 0;
    std::memcpy(&used, dib + 32, 4);
    const uint32_t colours = used != 0 ? used : (bits <= 8 ? 1u << bits : 0u);
    const uint32_t offset = 14 + infoSize + 4 * colours;
    std::vector<uint8_t> header{'B', 'M'};
    Put32(header, static_cast<uint32_t>(14 + size));
    Put32(header, 0);
    Put32(header, offset);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    file.write(reinterpret_cast<const char*>(dib), static_cast<std::streamsize>(size));
    return static_cast<bool>(file);
}

// A packed DIB of rows that arrived top-down as memory strips.
std::vector<uint8_t> DibFromStrips(const TW_IMAGEINFO& info, const std::vector<uint8_t>& rows, uint32_t bytesPerRow)
{
    const auto width = static_cast<uint32_t>(info.ImageWidth);
    const auto height = static_cast<uint32_t>(info.ImageLength);
    const uint32_t bits = static_cast<uint32_t>(info.BitsPerPixel);
    const uint32_t rowSize = (width * bits + 31) / 32 * 4;
    const uint32_t colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const auto ppm = static_cast<uint32_t>(info.XResolution.Whole * 10000 / 254);
    std::vector<uint8_t> dib;
    Put32(dib, 40);
    Put32(dib, width);
    Put32(dib, height);
    Put16(dib, 1);
    Put16(dib, bits);
    Put32(dib, 0);
    Put32(dib, rowSize * height);
    Put32(dib, ppm);
    Put32(dib, ppm);
    Put32(dib, colours);
    Put32(dib, colours);
    for (uint32_t i = 0; i < colours; ++i) {
        const auto level = static_cast<uint8_t>(bits == 1 ? i * 255 : i);
        dib.insert(dib.end(), {level, level, level, 0});
    }
    const size_t start = dib.size();
    dib.resize(start + size_t(rowSize) * height, 0);
    const uint32_t copy = std::min(rowSize, bytesPerRow);
    for (uint32_t y = 0; y < height && size_t(y + 1) * bytesPerRow <= rows.size(); ++y) {
        uint8_t* to = dib.data() + start + size_t(height - 1 - y) * rowSize;
        std::memcpy(to, rows.data() + size_t(y) * bytesPerRow, copy);
        if (bits == 24) {
            for (uint32_t x = 0; x + 2 < width * 3; x += 3) std::swap(to[x], to[x + 2]);
        }
    }
    return dib;
}

}  // namespace

int Acquire(const TwacquireOptions& options, std::ostream& out, std::ostream& messages)
{
    Session session;
    auto fail = [&](const std::string& step, bool fromSource) {
        const TW_UINT16 code = session.Condition(fromSource);
        messages << "twacquire: " << step << " failed, condition code " << code << '\n';
        return code != 0 ? code : 1;
    };
    if (!session.Load()) {
        messages << "twacquire: the Source Manager TWAIN_32.DLL cannot be loaded\n";
        return 1;
    }
    if (!session.OpenManager()) return fail("MSG_OPENDSM", false);
    if (!session.FindSource(options.source)) {
        messages << "twacquire: no source " << (options.source.empty() ? "(default)" : options.source) << '\n';
        return TWCC_NODS;
    }
    if (!session.OpenSource()) return fail("MSG_OPENDS", false);

    auto set = [&](TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value, const char* name) {
        const TW_UINT16 rc = session.SetCapability(cap, type, value);
        return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS ? 0 : fail(name, true);
    };
    if (int rc = set(ICAP_XFERMECH, TWTY_UINT16, options.mechanism, "ICAP_XFERMECH")) return rc;
    if (options.pixelType) {
        if (int rc = set(ICAP_PIXELTYPE, TWTY_UINT16, *options.pixelType, "ICAP_PIXELTYPE")) return rc;
    }
    if (options.resolution) {
        TW_FIX32 fix{static_cast<TW_INT16>(*options.resolution), 0};
        TW_UINT32 bits = 0;
        std::memcpy(&bits, &fix, sizeof fix);
        if (int rc = set(ICAP_XRESOLUTION, TWTY_FIX32, bits, "ICAP_XRESOLUTION")) return rc;
        if (int rc = set(ICAP_YRESOLUTION, TWTY_FIX32, bits, "ICAP_YRESOLUTION")) return rc;
    }
    if (options.duplex) {
        if (int rc = set(CAP_DUPLEXENABLED, TWTY_BOOL, 1, "CAP_DUPLEXENABLED")) return rc;
    }
    if (options.count) {
        if (int rc = set(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(*options.count), "CAP_XFERCOUNT")) return rc;
    }
    if (!session.Enable()) return fail("MSG_ENABLEDS", true);
    if (session.WaitForMessage() != MSG_XFERREADY) {
        messages << "twacquire: the source did not get ready\n";
        return 1;
    }

    for (int page = 1;; ++page) {
        const std::string path = options.outPrefix + "-" + std::to_string(page) + ".bmp";
        TW_IMAGEINFO info{};
        if (session.ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) return fail("DAT_IMAGEINFO", true);
        TW_UINT16 rc = TWRC_FAILURE;
        if (options.mechanism == TWSX_NATIVE) {
            TW_HANDLE dib = nullptr;
            rc = session.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
            if (rc == TWRC_XFERDONE) {
                const auto* bytes = static_cast<const uint8_t*>(session.Lock(dib));
                uint32_t sizeImage = 0;
                uint32_t used = 0;
                uint16_t bits = 0;
                std::memcpy(&bits, bytes + 14, 2);
                std::memcpy(&sizeImage, bytes + 20, 4);
                std::memcpy(&used, bytes + 32, 4);
                const size_t size = 40 + 4 * size_t(used) + sizeImage;
                const bool ok = WriteDib(path, bytes, size);
                session.Unlock(dib);
                session.Free(dib);
                if (!ok) {
                    messages << "twacquire: cannot write " << path << '\n';
                    return 1;
                }
            }
        } else if (options.mechanism == TWSX_FILE) {
            TW_SETUPFILEXFER setup{};
            std::strncpy(setup.FileName, path.c_str(), sizeof setup.FileName - 1);
            setup.Format = TWFF_BMP;
            if (session.ToSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) {
                return fail("DAT_SETUPFILEXFER", true);
            }
            rc = session.ToSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        } else {
            TW_SETUPMEMXFER setup{};
            if (session.ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) {
                return fail("DAT_SETUPMEMXFER", true);
            }
            std::vector<uint8_t> buffer(setup.Preferred);
            std::vector<uint8_t> rows;
            uint32_t bytesPerRow = 0;
            do {
                TW_IMAGEMEMXFER strip{};
                strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
                strip.Memory.Length = static_cast<TW_UINT32>(buffer.size());
                strip.Memory.TheMem = buffer.data();
                rc = session.ToSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
                if (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) {
                    bytesPerRow = strip.BytesPerRow;
                    rows.insert(rows.end(), buffer.begin(), buffer.begin() + strip.BytesWritten);
                }
            } while (rc == TWRC_SUCCESS);
            if (rc == TWRC_XFERDONE) {
                const std::vector<uint8_t> dib = DibFromStrips(info, rows, bytesPerRow);
                if (!WriteDib(path, dib.data(), dib.size())) {
                    messages << "twacquire: cannot write " << path << '\n';
                    return 1;
                }
            }
        }
        if (rc == TWRC_CANCEL) {
            messages << "twacquire: the transfer was cancelled\n";
            return 1;
        }
        if (rc != TWRC_XFERDONE) return fail("the image transfer", true);
        out << path << ": " << info.ImageWidth << " x " << info.ImageLength << ", " << info.BitsPerPixel
            << " bits\n";
        TW_PENDINGXFERS pending{};
        if (session.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) {
            return fail("MSG_ENDXFER", true);
        }
        if (pending.Count == 0) break;
    }
    return 0;
}
