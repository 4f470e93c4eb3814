// Image transfers: one sheet from the feeder through the scanner library,
// band by band to the application's callback, into a BMP file per page, or
// (WIA 2) into a stream per page. A duplex sheet gives two pages.
#include "BandReader.h"
#include "VarnixWiaDevice.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <vector>

namespace {

constexpr DWORD kScanLockMs = 2000;
constexpr LONG kStreamBuffer = 65536;
constexpr LONG kFileHeader = 14;
constexpr LONG kInfoHeader = 40;
constexpr LONG kBmpHeaders = kFileHeader + kInfoHeader;

void Put32(BYTE* at, uint32_t v) { std::memcpy(at, &v, 4); }
uint32_t Get32(const BYTE* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

// Percent of `done` in `total`, in 64 bits and within 0..100.
LONG Percent(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    const int64_t percent = done * 100 / total;
    return static_cast<LONG>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

// The sides to transfer for a document handling select value, in order.
std::vector<uint32_t> Sides(LONG handling) {
    const bool duplex = (handling & DUPLEX) && !(handling & (FRONT_ONLY | BACK_ONLY));
    const bool backFirst = (handling & (BACK_FIRST | BACK_ONLY)) != 0;
    std::vector<uint32_t> sides;
    for (uint32_t page = 0; page < (duplex ? 2u : 1u); ++page) sides.push_back(backFirst ? 1 - page : page);
    return sides;
}

// The information header's height and image size for `lines` top-down rows.
void SetHeight(BYTE* info, LONG lines, LONG aligned) {
    Put32(info + 8, static_cast<uint32_t>(-lines));
    Put32(info + 20, static_cast<uint32_t>(lines * aligned));
}

// Rewrites the BMP header at the start of a page file from the rows it
// holds: the height from the file's data length and the stride.
HRESULT FixBitmapHeaderInFile(HANDLE file, LONG pixels, LONG depth) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return E_FAIL;
    BYTE header[kBmpHeaders] = {};
    DWORD read = 0;
    if (!ReadFile(file, header, sizeof header, &read, nullptr) || read != sizeof header) return S_OK;
    const LONG stride = static_cast<LONG>(((static_cast<int64_t>(pixels) * depth + 31) / 8) & ~int64_t{3});
    if (stride <= 0) return S_OK;
    const DWORD size = GetFileSize(file, nullptr);
    const uint32_t offset = Get32(header + 10);
    if (size == INVALID_FILE_SIZE || offset > size) return S_OK;
    const LONG lines = static_cast<LONG>((size - offset) / static_cast<DWORD>(stride));
    SetHeight(header + kFileHeader, lines, stride);
    Put32(header + 2, offset + static_cast<uint32_t>(lines * stride));
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return E_FAIL;
    DWORD written = 0;
    WriteFile(file, header, sizeof header, &written, nullptr);
    SetFilePointer(file, 0, nullptr, FILE_END);
    return S_OK;
}

struct Outcome {
    HRESULT result = S_OK;
    bool cancelled = false;
};

}  // namespace

HRESULT VarnixWiaDevice::ValidateDataTransferContext(const MINIDRV_TRANSFER_CONTEXT* transfer) {
    if (transfer == nullptr || transfer->lSize != static_cast<LONG>(sizeof(MINIDRV_TRANSFER_CONTEXT))) {
        return E_INVALIDARG;
    }
    switch (transfer->tymed) {
        case TYMED_FILE: return IsEqualGUID(transfer->guidFormatID, WiaImgFmt_BMP) ? S_OK : E_INVALIDARG;
        case TYMED_CALLBACK:
        case TYMED_MULTIPAGE_CALLBACK:
            return IsEqualGUID(transfer->guidFormatID, WiaImgFmt_MEMORYBMP) ? S_OK : E_INVALIDARG;
        default: return E_INVALIDARG;
    }
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvAcquireItemData(BYTE* context, LONG, MINIDRV_TRANSFER_CONTEXT* transfer,
                                                              LONG* error) {
    if (error) *error = 0;
    IWiaDrvItem* driverItem = nullptr;
    if (FAILED(wiasGetDrvItem(context, &driverItem)) || transfer == nullptr) return E_INVALIDARG;
    HRESULT result = wiaVersion_ == 2 ? drvWriteItemProperties(context, 0, transfer, error)
                                      : ValidateDataTransferContext(transfer);
    if (FAILED(result)) return result;
    WiaItemContext* item = ItemContext(context);
    if (item == nullptr) return E_INVALIDARG;
    result = wiasGetImageInformation(context, 0, transfer);
    if (result != S_OK) return result;
    BYTE* pagesItem = context;
    if (wiaVersion_ != 2) wiasGetRootItem(context, &pagesItem);
    LONG pages = 1;
    wiasReadPropLong(pagesItem, WIA_DPS_PAGES, &pages, nullptr, FALSE);
    item->pages = pages;

    int status = 0;
    int paper = 0;
    if (access_.With([&](ScannerLibrary& l) { return l.GetScannerStatus(&status); }) == SI_OK &&
        status == SI_SCANNER_READY &&
        (access_.With([&](ScannerLibrary& l) { return l.GetPaperStatus(&paper); }) != SI_OK ||
         paper != SI_PAPER_PRESENT)) {
        return WIA_ERROR_PAPER_EMPTY;
    }
    status = 0;
    if (access_.With([&](ScannerLibrary& l) { return l.GetScannerStatus(&status); }) != SI_OK ||
        status != SI_SCANNER_READY || scanLock_.Lock(kScanLockMs) != 0) {
        return E_FAIL;
    }
    BYTE* ownBuffer = nullptr;
    if (transfer->pTransferBuffer == nullptr && wiaVersion_ != 2) {
        LONG size = 65536;
        wiasReadPropLong(context, WIA_IPA_BUFFER_SIZE, &size, nullptr, FALSE);
        ownBuffer = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(size > 0 ? size : 0)));
        if (ownBuffer == nullptr) {
            ReleaseMutex(scanLock_.Handle());
            return E_OUTOFMEMORY;
        }
        transfer->pTransferBuffer = ownBuffer;
        transfer->lBufferSize = size;
    }
    if (wiaVersion_ == 2) {
        result = ScanItemWia2(context, transfer, item);
    } else if (transfer->tymed == TYMED_CALLBACK || transfer->tymed == TYMED_MULTIPAGE_CALLBACK) {
        result = ScanItemCB(context, transfer, item);
    } else {
        result = ScanItem(context, transfer, item);
    }
    ReleaseMutex(scanLock_.Handle());
    if (ownBuffer != nullptr) {
        CoTaskMemFree(ownBuffer);
        transfer->pTransferBuffer = nullptr;
        transfer->lBufferSize = 0;
    }
    return result;
}

HRESULT VarnixWiaDevice::ScanItemCB(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item) {
    IWiaMiniDrvCallBack* callback = transfer->pIWiaMiniDrvCallBack;
    if (callback == nullptr || transfer->pTransferBuffer == nullptr) return E_INVALIDARG;
    BandReader reader(access_, abortEvent_.Handle(), *item);
    const std::vector<uint32_t> sides = Sides(item->documentHandling);
    HRESULT result = S_OK;
    for (size_t page = 0; page < sides.size() && result == S_OK; ++page) {
        result = wiasGetImageInformation(context, 0, transfer);
        if (FAILED(result)) break;
        const LONG header = transfer->lHeaderSize;
        if (header < kInfoHeader || header > transfer->lBufferSize) {
            result = E_FAIL;
            break;
        }
        // The service's information header, made top-down.
        SetHeight(transfer->pTransferBuffer, transfer->lLines, item->alignedLineBytes);
        std::vector<BYTE> headerCopy(transfer->pTransferBuffer, transfer->pTransferBuffer + header);
        result = callback->MiniDrvCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, 0, 0, header, transfer, 0);
        if (result != S_OK) break;
        transfer->cbOffset = header;
        if (item->alignedLineBytes == 0) {
            result = E_FAIL;
            break;
        }
        const LONG band = BandReader::BandSize(item->alignedLineBytes, transfer->lItemSize);
        reader.StartPage();
        for (;;) {
            LONG bytes = 0;
            const BandReader::Outcome got =
                reader.Read(transfer->pTransferBuffer, transfer->lBufferSize, band, sides[page], &bytes);
            if (got == BandReader::Outcome::PageEnd) break;
            if (got == BandReader::Outcome::Aborted) {
                result = S_FALSE;
                break;
            }
            if (got == BandReader::Outcome::Failed) {
                result = E_FAIL;
                break;
            }
            const LONG percent = Percent(static_cast<int64_t>(transfer->cbOffset) + bytes,
                                         static_cast<int64_t>(transfer->lItemSize));
            result = callback->MiniDrvCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, percent, transfer->cbOffset,
                                               bytes, transfer, 0);
            if (result != S_OK) break;
            if (reader.AbortRequested()) {
                result = S_FALSE;
                break;
            }
            transfer->cbOffset += bytes;
        }
        if (result != S_OK) break;
        // A side that ended early: the header tells the rows it holds.
        if (reader.LinesRead() != transfer->lLines) {
            SetHeight(headerCopy.data(), reader.LinesRead(), item->alignedLineBytes);
            std::memcpy(transfer->pTransferBuffer, headerCopy.data(), headerCopy.size());
            result = callback->MiniDrvCallback(IT_MSG_DATA, IT_STATUS_TRANSFER_TO_CLIENT, 100, 0, header, transfer, 0);
            if (result != S_OK) break;
        }
        result = wiasSendEndOfPage(context, static_cast<LONG>(page + 1), transfer);
        item->bytesTransferred = 0;
        transfer->cbOffset = 0;
    }
    reader.Finish();
    return result;
}

HRESULT VarnixWiaDevice::ScanItem(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item) {
    if (transfer->pTransferBuffer == nullptr) return E_INVALIDARG;
    IWiaMiniDrvCallBack* callback = transfer->pIWiaMiniDrvCallBack;
    BandReader reader(access_, abortEvent_.Handle(), *item);
    const std::vector<uint32_t> sides = Sides(item->documentHandling);
    const bool bmp = IsEqualGUID(transfer->guidFormatID, WiaImgFmt_BMP);
    const auto write = [&](LONG bytes) -> HRESULT {
        if (osGeneration_ == 2) {
            DWORD written = 0;
            return WriteFile(reinterpret_cast<HANDLE>(transfer->hFile), transfer->pTransferBuffer,
                             static_cast<DWORD>(bytes), &written, nullptr) && written == static_cast<DWORD>(bytes)
                       ? S_OK
                       : E_FAIL;
        }
        const LONG itemSize = transfer->lItemSize;
        transfer->lItemSize = bytes;
        const HRESULT written = wiasWriteBufToFile(0, transfer);
        transfer->lItemSize = itemSize;
        return written;
    };
    HRESULT result = S_OK;
    for (size_t page = 0; page < sides.size() && result == S_OK; ++page) {
        // One header and one image per file: each page goes to the file the
        // service has open for it.
        result = wiasGetImageInformation(context, 0, transfer);
        if (FAILED(result)) break;
        const LONG header = transfer->lHeaderSize;
        if (header > transfer->lBufferSize || item->alignedLineBytes == 0) {
            result = E_FAIL;
            break;
        }
        result = write(header);
        if (FAILED(result)) break;
        const LONG band = BandReader::BandSize(item->alignedLineBytes, transfer->lItemSize);
        int64_t remaining = transfer->lImageSize;
        reader.StartPage();
        for (;;) {
            LONG bytes = 0;
            const BandReader::Outcome got =
                reader.Read(transfer->pTransferBuffer, transfer->lBufferSize, band, sides[page], &bytes);
            if (got == BandReader::Outcome::PageEnd) break;
            if (got == BandReader::Outcome::Aborted) {
                result = S_FALSE;
                break;
            }
            if (got == BandReader::Outcome::Failed) {
                result = E_FAIL;
                break;
            }
            result = write(bytes);
            if (FAILED(result)) break;
            remaining -= bytes;
            if (callback != nullptr) {
                const LONG percent = Percent(transfer->lItemSize - remaining, transfer->lItemSize);
                result = callback->MiniDrvCallback(IT_MSG_STATUS, IT_STATUS_TRANSFER_TO_CLIENT, percent, 0, 0,
                                                   transfer, 0);
                if (result != S_OK) break;
            }
            if (reader.AbortRequested()) {
                result = S_FALSE;
                break;
            }
        }
        if (bmp) {
            const HRESULT fixed = FixBitmapHeaderInFile(reinterpret_cast<HANDLE>(transfer->hFile), transfer->lWidth,
                                                        transfer->lDepth);
            if (result == S_OK) result = fixed;
        }
        if (result != S_OK) break;
        result = wiasSendEndOfPage(context, static_cast<LONG>(page + 1), transfer);
        item->bytesTransferred = 0;
    }
    reader.Finish();
    return result;
}

HRESULT VarnixWiaDevice::ScanItemWia2(BYTE* context, MINIDRV_TRANSFER_CONTEXT* transfer, WiaItemContext* item) {
    if (transfer->pIWiaMiniDrvCallBack == nullptr) return E_INVALIDARG;
    BSTR itemName = nullptr;
    BSTR fullName = nullptr;
    wiasReadPropStr(context, WIA_IPA_ITEM_NAME, &itemName, nullptr, FALSE);
    wiasReadPropStr(context, WIA_IPA_FULL_ITEM_NAME, &fullName, nullptr, FALSE);
    IWiaMiniDrvTransferCallback* streams = nullptr;
    if (FAILED(transfer->pIWiaMiniDrvCallBack->QueryInterface(IID_IWiaMiniDrvTransferCallback,
                                                              reinterpret_cast<void**>(&streams))) ||
        streams == nullptr) {
        SysFreeString(itemName);
        SysFreeString(fullName);
        return E_UNEXPECTED;
    }
    WiaTransferParams progress{};
    std::vector<BYTE> buffer(kStreamBuffer);
    BYTE* const serviceBuffer = transfer->pTransferBuffer;
    const LONG serviceBufferSize = transfer->lBufferSize;
    transfer->pTransferBuffer = buffer.data();
    transfer->lBufferSize = kStreamBuffer;

    BandReader reader(access_, abortEvent_.Handle(), *item);
    const std::vector<uint32_t> sides = Sides(item->documentHandling);
    HRESULT result = S_OK;
    for (size_t page = 0; page < sides.size() && result == S_OK; ++page) {
        IStream* stream = nullptr;
        const HRESULT next = streams->GetNextStream(0, itemName, fullName, &stream);
        if (next == S_FALSE) {
            result = S_FALSE;
            break;
        }
        if (next == WIA_STATUS_SKIP_ITEM) break;
        if (next != S_OK || stream == nullptr) {
            result = E_UNEXPECTED;
            break;
        }
        result = wiasGetImageInformation(context, 0, transfer);
        const LONG header = transfer->lHeaderSize;
        if (SUCCEEDED(result) && (header < kBmpHeaders || header > kStreamBuffer || item->alignedLineBytes == 0)) {
            result = E_FAIL;
        }
        std::vector<BYTE> headerCopy;
        if (SUCCEEDED(result)) {
            SetHeight(buffer.data() + kFileHeader, transfer->lLines, item->alignedLineBytes);
            headerCopy.assign(buffer.data(), buffer.data() + header);
            ULONG written = 0;
            result = stream->Write(buffer.data(), static_cast<ULONG>(header), &written);
            if (SUCCEEDED(result)) result = S_OK;
        }
        const LONG band = BandReader::BandSize(item->alignedLineBytes, transfer->lItemSize);
        int64_t total = header;
        LONG lastPercent = -1;
        reader.StartPage();
        while (result == S_OK) {
            LONG bytes = 0;
            const BandReader::Outcome got = reader.Read(buffer.data(), kStreamBuffer, band, sides[page], &bytes);
            if (got == BandReader::Outcome::PageEnd) break;
            if (got == BandReader::Outcome::Aborted) {
                result = S_FALSE;
                break;
            }
            if (got == BandReader::Outcome::Failed) {
                result = E_FAIL;
                break;
            }
            LARGE_INTEGER zero{};
            stream->Seek(zero, STREAM_SEEK_END, nullptr);
            ULONG written = 0;
            if (FAILED(stream->Write(buffer.data(), static_cast<ULONG>(bytes), &written))) {
                result = E_FAIL;
                break;
            }
            total += written;
            const LONG percent = Percent(total, static_cast<int64_t>(transfer->lItemSize));
            if (percent != lastPercent) {
                lastPercent = percent;
                progress.lMessage = WIA_TRANSFER_MSG_STATUS;
                progress.lPercentComplete = percent;
                progress.ulTransferredBytes = static_cast<ULONG64>(total);
                progress.hrErrorStatus = S_OK;
                const HRESULT sent = streams->SendMessage(0, &progress);
                if (FAILED(sent)) {
                    result = sent;
                    break;
                }
                if (sent == S_FALSE) {
                    result = S_FALSE;
                    break;
                }
                if (sent != S_OK) {
                    result = E_UNEXPECTED;
                    break;
                }
            }
            if (reader.AbortRequested()) result = S_FALSE;
        }
        // The header tells the rows the page holds, however it ended.
        if (!headerCopy.empty()) {
            const LONG lines = reader.LinesRead();
            SetHeight(headerCopy.data() + kFileHeader, lines, item->alignedLineBytes);
            Put32(headerCopy.data() + 2, static_cast<uint32_t>(header + lines * item->alignedLineBytes));
            LARGE_INTEGER zero{};
            ULONG written = 0;
            if (SUCCEEDED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) {
                stream->Write(headerCopy.data(), static_cast<ULONG>(headerCopy.size()), &written);
            }
            stream->Seek(zero, STREAM_SEEK_END, nullptr);
        }
        stream->Release();
        item->bytesTransferred = 0;
    }
    reader.Finish();
    transfer->pTransferBuffer = serviceBuffer;
    transfer->lBufferSize = serviceBufferSize;
    streams->Release();
    SysFreeString(itemName);
    SysFreeString(fullName);
    return result;
}
