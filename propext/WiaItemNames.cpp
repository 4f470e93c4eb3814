#include "WiaItemNames.h"

#include <windows.h>

namespace {

// The global block of a storage medium, locked for the object's life and
// freed with it.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
    ~LockedBlock() {
        if (data_ != nullptr) GlobalUnlock(block_);
        GlobalFree(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    const void* Data() const { return data_; }
    size_t Size() const { return GlobalSize(block_); }

private:
    HGLOBAL block_;
    void* data_;
};

}  // namespace

std::vector<std::wstring> GetWiaItemNames(IDataObject* dataObject) {
    std::vector<std::wstring> names;
    if (dataObject == nullptr) return names;
    FORMATETC format{};
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("WIAItemNames"));
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium{};
    if (FAILED(dataObject->GetData(&format, &medium)) || medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr)
        return names;
    LockedBlock block(medium.hGlobal);
    const auto* text = static_cast<const wchar_t*>(block.Data());
    if (text == nullptr) return names;
    // The walk stays inside the block and needs the empty name that ends it.
    const size_t length = block.Size() / sizeof(wchar_t);
    size_t at = 0;
    for (;;) {
        size_t end = at;
        while (end < length && text[end] != L'\0') ++end;
        if (end >= length) return {};
        if (end == at) return names;
        names.emplace_back(text + at, end - at);
        at = end + 1;
    }
}
