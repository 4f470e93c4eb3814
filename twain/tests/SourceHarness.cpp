#include "SourceHarness.h"

#include <cstdlib>
#include <cstring>

namespace twain_test {

namespace fs = std::filesystem;

fs::path BinFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::string SamplePage() { return (BinFolder().parent_path() / "samples" / "sample-front.ppm").string(); }

void UseDirectPortModel() { ::setenv("PELIDOR_TWAIN_MODEL", "RM310__", 1); }

DirectSource::DirectSource()
{
    module_ = LoadLibraryA((BinFolder() / "Pelidor.ds").c_str());
    if (module_ != nullptr) {
        using Generic = void (*)();
        entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<Generic>(GetProcAddress(module_, "DS_Entry")));
    }
    app.Id = 7;
    app.ProtocolMajor = 2;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app.ProductName, "DispatchTest");
    source.Id = 8;
}

DirectSource::~DirectSource()
{
    if (entry_ != nullptr) Close();
    if (module_ != nullptr) FreeLibrary(module_);
}

TW_UINT16 DirectSource::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data)
{
    // The application's identity on the caller's stack, as a Source Manager passes it.
    TW_IDENTITY copy = app;
    return entry_(&copy, dg, dat, msg, data);
}

TW_UINT16 DirectSource::Condition()
{
    TW_STATUS status{};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

TW_UINT16 DirectSource::Open() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source); }
TW_UINT16 DirectSource::Close() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source); }

TW_UINT16 DirectSource::Enable(bool showUi, HWND parent)
{
    TW_USERINTERFACE ui{};
    ui.hParent = parent;
    ui.ShowUI = showUi ? TRUE : FALSE;
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 DirectSource::SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value)
{
    TW_CAPABILITY c{};
    c.Cap = cap;
    c.ConType = TWON_ONEVALUE;
    c.hContainer = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* one = static_cast<pTW_ONEVALUE>(GlobalLock(c.hContainer));
    one->ItemType = type;
    one->Item = value;
    GlobalUnlock(c.hContainer);
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    GlobalFree(c.hContainer);
    return rc;
}

TW_UINT16 DirectSource::EndTransfer(TW_UINT16* count)
{
    TW_PENDINGXFERS pending{};
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (count != nullptr) *count = pending.Count;
    return rc;
}

TW_UINT16 DirectSource::Reset()
{
    TW_PENDINGXFERS pending{};
    return Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

TW_UINT16 DirectSource::Strip(uint32_t rows)
{
    TW_IMAGEINFO info{};
    Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    const uint32_t rowBytes = (static_cast<uint32_t>(info.ImageWidth) * info.BitsPerPixel + 31) / 32 * 4;
    std::vector<uint8_t> buffer(size_t(rowBytes) * rows);
    TW_IMAGEMEMXFER strip{};
    strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    strip.Memory.Length = static_cast<TW_UINT32>(buffer.size());
    strip.Memory.TheMem = buffer.data();
    return Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
}

}  // namespace twain_test
