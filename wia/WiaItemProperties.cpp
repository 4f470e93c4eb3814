// Item properties: the root and feeder tables, validation of an
// application's changes against the scanner, and the mapping of the WIA
// values onto the library's properties before a transfer.
#include "VarnixWiaDevice.h"
#include "WiaPropertyMapping.h"
#include "WiaPropertyTable.h"

#include <SIRecord.h>

#include <algorithm>

namespace {

constexpr LONG kBufferSize = 65536;
constexpr LONG kMaxScanTime = 90000;

struct LibraryRange {
    LONG minimum = 0, maximum = 0, step = 1, fallback = 0, current = 0;
};

// Resets a range property to its default in the library and reads it.
LibraryRange ResetRange(LibraryAccess& library, SIPropertyId id) {
    LibraryRange range;
    SIProperty p = si_record::Request(id);
    if (library.GetProperty(&p) != SI_OK || p.container != SI_CONTAINER_RANGE) return range;
    p.value[4] = p.value[si_record::kRangeDefault];
    library.SetProperty(p);
    library.GetProperty(&p);
    range.minimum = IntFromSlot(p.value[si_record::kRangeMinimum]);
    range.maximum = IntFromSlot(p.value[si_record::kRangeMaximum]);
    range.step = IntFromSlot(p.value[si_record::kRangeStep]);
    range.fallback = IntFromSlot(p.value[si_record::kRangeDefault]);
    range.current = IntFromSlot(p.value[4]);
    return range;
}

LONG ReadInt(LibraryAccess& library, SIPropertyId id) {
    SIProperty p = si_record::Request(id);
    if (library.GetProperty(&p) != SI_OK) return 0;
    return si_record::CurrentInt(p);
}

LONG ReadLong(BYTE* context, PROPID id) {
    LONG value = 0;
    wiasReadPropLong(context, id, &value, nullptr, FALSE);
    return value;
}

bool Changed(WIA_PROPERTY_CONTEXT* changes, PROPID id) {
    BOOL changed = FALSE;
    wiasIsPropChanged(id, changes, &changed);
    return changed != FALSE;
}

// The largest scan width (or length) for the library's current settings:
// W and the largest start S.
void ReadMaximum(LibraryAccess& library, SIPropertyId id, LONG* maximum, LONG* largestStart) {
    SIProperty p = si_record::Request(id);
    *maximum = 1;
    *largestStart = 0;
    if (library.GetProperty(&p) != SI_OK) return;
    if (p.container == SI_CONTAINER_RANGE) {
        *maximum = IntFromSlot(p.value[si_record::kRangeMaximum]);
        *largestStart = *maximum - 1;
    } else {
        *maximum = si_record::CurrentInt(p);
        *largestStart = *maximum;
    }
    if (*maximum < 1) *maximum = 1;
    if (*largestStart < 0) *largestStart = 0;
}

}  // namespace

WiaItemContext* VarnixWiaDevice::ItemContext(BYTE* context) {
    IWiaDrvItem* item = nullptr;
    if (FAILED(wiasGetDrvItem(context, &item)) || item == nullptr) return nullptr;
    BYTE* bytes = nullptr;
    if (FAILED(item->GetDeviceSpecContext(&bytes)) || bytes == nullptr) return nullptr;
    return reinterpret_cast<WiaItemContext*>(bytes);
}

// Optical resolution, width and length of the opened model: read whichever
// item is initialised first.
void VarnixWiaDevice::ReadModelGeometry() {
    opticalResolution_ = ReadInt(access_, SI_PROP_OPTICAL_RESOLUTION);
    opticalWidth_ = ReadInt(access_, SI_PROP_OPTICAL_WIDTH);
    opticalLength_ = ReadInt(access_, SI_PROP_OPTICAL_LENGTH);
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvInitItemProperties(BYTE* context, LONG, LONG* error) {
    if (error) *error = 0;
    LONG type = 0;
    if (FAILED(wiasGetItemType(context, &type))) return E_INVALIDARG;
    if (type & WiaItemTypeRoot) return InitRootItemProperties(context);
    const HRESULT result = InitChildItemProperties(context);
    if (FAILED(result)) return result;
    return SetItemSize(context);
}

HRESULT VarnixWiaDevice::InitRootItemProperties(BYTE* context) {
    ReadModelGeometry();
    const bool duplex = access_.Has(SI_PROP_DUPLEX);
    WiaPropertyTable table;
    table.Text(WIA_DIP_FIRMWARE_VERSION, L"Firmware Version", L"0.0.0.1");
    table.Long(WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES, L"Document Handling Capabilities", duplex ? 37 : 33);
    table.Long(WIA_DPS_DOCUMENT_HANDLING_STATUS, L"Document Handling Status", duplex ? 5 : 1);
    if (wiaVersion_ == 2) {
        table.Guid(WIA_IPA_ITEM_CATEGORY, L"Item Category", WIA_CATEGORY_ROOT);
    } else {
        table.Long(WIA_IPA_ACCESS_RIGHTS, L"Access Rights", 3);
        table.Long(WIA_DPS_OPTICAL_XRES, L"Horizontal Optical Resolution", opticalResolution_);
        table.Long(WIA_DPS_OPTICAL_YRES, L"Vertical Optical Resolution", opticalResolution_);
        table.Flags(WIA_IPA_ITEM_FLAGS, L"Item Flags", 67, 67, WiaPropertyTable::kFlagsReadOnly);
        table.Long(WIA_DPS_MAX_SCAN_TIME, L"Max Scan Time", kMaxScanTime);
        table.Text(WIA_IPA_ITEM_NAME, L"Item Name", L"Root");
        table.Long(WIA_DPS_HORIZONTAL_SHEET_FEED_SIZE, L"Horizontal Sheet Feed Size",
                   Thousandths(opticalWidth_, opticalResolution_));
        table.Long(WIA_DPS_VERTICAL_SHEET_FEED_SIZE, L"Vertical Sheet Feed Size",
                   Thousandths(opticalLength_, opticalResolution_));
        table.Long(WIA_DPS_SHEET_FEEDER_REGISTRATION, L"Sheet Feeder Registration", 1);
        table.Flags(WIA_DPS_DOCUMENT_HANDLING_SELECT, L"Document Handling Select", 1, duplex ? 45 : 33,
                    WiaPropertyTable::kFlags);
        HRESULT result = table.Range(WIA_DPS_PAGES, L"Pages", 1, 0, 1, 1, 1);
        if (FAILED(result)) return result;
        table.Long(WIA_DPS_HORIZONTAL_BED_REGISTRATION, L"Horizontal Bed Registration", 1);
        table.Long(WIA_DPS_VERTICAL_BED_REGISTRATION, L"Vertical Bed Registration", 0);
    }
    return table.Apply(context);
}

HRESULT VarnixWiaDevice::InitChildItemProperties(BYTE* context) {
    ReadModelGeometry();
    SIProperty x = si_record::Request(SI_PROP_X_RESOLUTION);
    access_.GetProperty(&x);
    std::vector<LONG> resolutions;
    LONG resolution = si_record::CurrentInt(x);
    if (x.container == SI_CONTAINER_LIST) {
        const auto* items = PointerFromSlot<const int32_t>(x.value[si_record::kListItems]);
        const int32_t count = IntFromSlot(x.value[si_record::kListCount]);
        for (int32_t i = 0; items != nullptr && i < count; ++i) resolutions.push_back(items[i]);
    }
    if (resolutions.empty()) resolutions.push_back(resolution);
    const LibraryRange yOffset = ResetRange(access_, SI_PROP_Y_OFFSET);
    const LibraryRange length = ResetRange(access_, SI_PROP_SCAN_LENGTH);
    const LibraryRange xOffset = ResetRange(access_, SI_PROP_X_OFFSET);
    const LibraryRange width = ResetRange(access_, SI_PROP_SCAN_WIDTH);
    const bool duplex = access_.Has(SI_PROP_DUPLEX);
    SIProperty threshold = si_record::Request(SI_PROP_THRESHOLD);
    const bool hasThreshold = access_.GetProperty(&threshold) == SI_OK && threshold.container == SI_CONTAINER_RANGE;

    WiaPropertyTable table;
    HRESULT result = S_OK;
    const auto range = [&](PROPID id, const wchar_t* name, const LibraryRange& r) {
        if (SUCCEEDED(result)) result = table.Range(id, name, r.current, r.minimum, r.fallback, r.maximum, r.step);
    };
    table.Long(WIA_IPA_ACCESS_RIGHTS, L"Access Rights", 1);
    table.Long(WIA_IPA_BITS_PER_CHANNEL, L"Bits Per Channel", 8);
    table.Long(WIA_IPA_CHANNELS_PER_PIXEL, L"Channels Per Pixel", 3);
    table.List(WIA_IPA_COMPRESSION, L"Compression", 0, {0});
    table.List(WIA_IPA_DATATYPE, L"Data Type", WIA_DATA_COLOR, {WIA_DATA_THRESHOLD, WIA_DATA_GRAYSCALE, WIA_DATA_COLOR});
    table.List(WIA_IPA_DEPTH, L"Bits Per Pixel", 24, {1, 8, 24});
    table.Long(WIA_IPA_ITEM_SIZE, L"Item Size", 0);
    if (SUCCEEDED(result)) {
        result = table.Range(WIA_IPS_BRIGHTNESS, L"Brightness", 0, -1000, 0, 1000, 1, WiaPropertyTable::kRangeCacheable);
    }
    if (SUCCEEDED(result)) {
        result = table.Range(WIA_IPS_CONTRAST, L"Contrast", 0, -1000, 0, 1000, 1, WiaPropertyTable::kRangeCacheable);
    }
    table.Flags(WIA_IPS_CUR_INTENT, L"Current Intent", 0, 0x30007, WiaPropertyTable::kFlags);
    table.List(WIA_IPS_PHOTOMETRIC_INTERP, L"Photometric Interpretation", 0, {0, 1});
    table.List(WIA_IPS_XRES, L"Horizontal Resolution", resolution, resolutions);
    table.List(WIA_IPS_YRES, L"Vertical Resolution", resolution, resolutions);
    range(WIA_IPS_XEXTENT, L"Horizontal Extent", width);
    range(WIA_IPS_YEXTENT, L"Vertical Extent", length);
    table.Long(WIA_DPS_PAGE_WIDTH, L"Page Width", PageThousandths(width.current, resolution));
    table.Long(WIA_DPS_PAGE_HEIGHT, L"Page Height", PageThousandths(length.current, resolution));
    range(WIA_IPS_XPOS, L"Horizontal Start Position", xOffset);
    range(WIA_IPS_YPOS, L"Vertical Start Position", yOffset);
    if (hasThreshold && SUCCEEDED(result)) {
        result = table.Range(WIA_IPS_THRESHOLD, L"Threshold", si_record::CurrentInt(threshold),
                             IntFromSlot(threshold.value[si_record::kRangeMinimum]),
                             IntFromSlot(threshold.value[si_record::kRangeDefault]),
                             IntFromSlot(threshold.value[si_record::kRangeMaximum]),
                             IntFromSlot(threshold.value[si_record::kRangeStep]));
    }
    table.Long(WIA_IPA_PIXELS_PER_LINE, L"Pixels Per Line", width.current);
    table.Long(WIA_IPA_NUMBER_OF_LINES, L"Number of Lines", length.current);
    table.Long(WIA_IPA_BYTES_PER_LINE, L"Bytes Per Line", 0);
    if (wiaVersion_ == 2) {
        table.Guid(WIA_IPA_ITEM_CATEGORY, L"Item Category", WIA_CATEGORY_FEEDER);
        table.GuidList(WIA_IPA_FORMAT, L"Format", WiaImgFmt_BMP, {WiaImgFmt_BMP});
        table.List(WIA_IPA_TYMED, L"Media Type", TYMED_FILE, {TYMED_FILE});
        table.Guid(WIA_IPA_PREFERRED_FORMAT, L"Preferred Format", WiaImgFmt_BMP);
        table.Flags(WIA_DPS_DOCUMENT_HANDLING_SELECT, L"Document Handling Select", FRONT_ONLY,
                    duplex ? (DUPLEX | FRONT_FIRST | FRONT_ONLY) : FRONT_ONLY, WiaPropertyTable::kFlags);
        table.List(WIA_DPS_PAGE_SIZE, L"Page Size", 2, {2});
        table.Long(WIA_IPS_MAX_HORIZONTAL_SIZE, L"Maximum Horizontal Scan Size",
                   Thousandths(opticalWidth_, opticalResolution_));
        table.Long(WIA_IPS_MAX_VERTICAL_SIZE, L"Maximum Vertical Scan Size",
                   Thousandths(opticalLength_, opticalResolution_));
        table.Long(WIA_IPS_MIN_HORIZONTAL_SIZE, L"Minimum Horizontal Scan Size", Thousandths(width.minimum, resolution));
        table.Long(WIA_IPS_MIN_VERTICAL_SIZE, L"Minimum Vertical Scan Size", Thousandths(length.minimum, resolution));
        table.Long(WIA_DPS_OPTICAL_XRES, L"Horizontal Optical Resolution", opticalResolution_);
        table.Long(WIA_DPS_OPTICAL_YRES, L"Vertical Optical Resolution", opticalResolution_);
        if (SUCCEEDED(result)) result = table.Range(WIA_DPS_PAGES, L"Pages", 1, 0, 1, 1, 1);
        table.List(WIA_IPS_ROTATION, L"Rotation", 0, {0}, WiaPropertyTable::kListCacheable);
        table.Long(WIA_DPS_SHEET_FEEDER_REGISTRATION, L"Sheet Feeder Registration", 1);
        table.List(WIA_IPS_ORIENTATION, L"Orientation", 0, {0});
    } else {
        table.GuidList(WIA_IPA_FORMAT, L"Format", WiaImgFmt_MEMORYBMP, {WiaImgFmt_MEMORYBMP, WiaImgFmt_BMP});
        table.List(WIA_IPA_TYMED, L"Media Type", TYMED_CALLBACK, {TYMED_CALLBACK, TYMED_FILE});
        table.Guid(WIA_IPA_PREFERRED_FORMAT, L"Preferred Format", WiaImgFmt_MEMORYBMP);
        table.Long(WIA_IPA_PLANAR, L"Planar", 0);
        table.Flags(WIA_IPA_ITEM_FLAGS, L"Item Flags", 67, 67, WiaPropertyTable::kFlagsReadOnly);
        table.Long(WIA_IPA_BUFFER_SIZE, L"Buffer Size", kBufferSize);
    }
    if (FAILED(result)) return result;
    return table.Apply(context);
}

HRESULT VarnixWiaDevice::SetItemSize(BYTE* context) {
    GUID format{};
    LONG tymed = 0;
    wiasReadPropGuid(context, WIA_IPA_FORMAT, &format, nullptr, FALSE);
    wiasReadPropLong(context, WIA_IPA_TYMED, &tymed, nullptr, FALSE);
    MINIDRV_TRANSFER_CONTEXT info{};
    info.lSize = sizeof info;
    HRESULT result = wiasGetImageInformation(context, 0, &info);
    if (FAILED(result)) return result;
    LONG itemSize = 0;
    switch (tymed) {
        case TYMED_FILE:
        case TYMED_MULTIPAGE_FILE: itemSize = 0; break;
        case TYMED_CALLBACK:
        case TYMED_MULTIPAGE_CALLBACK: itemSize = info.lItemSize; break;
        default: return E_INVALIDARG;
    }
    wiasWritePropLong(context, WIA_IPA_ITEM_SIZE, itemSize);
    wiasWritePropLong(context, WIA_IPA_BYTES_PER_LINE, info.cbWidthInBytes);
    wiasWritePropLong(context, WIA_IPA_BUFFER_SIZE, kBufferSize);
    if (WiaItemContext* item = ItemContext(context)) {
        const LineSizes sizes = LineSizesFor(ReadLong(context, WIA_IPA_PIXELS_PER_LINE),
                                             ReadLong(context, WIA_IPA_DEPTH), ReadLong(context, WIA_IPA_NUMBER_OF_LINES));
        item->packedLineBytes = sizes.packed;
        item->alignedLineBytes = sizes.aligned;
        item->imageBytes = sizes.image;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvValidateItemProperties(BYTE* context, LONG, ULONG count,
                                                                     const tagPROPSPEC* specs, LONG* error) {
    if (error) *error = 0;
    LONG type = 0;
    if (FAILED(wiasGetItemType(context, &type))) return E_INVALIDARG;
    if (type & WiaItemTypeRoot) return wiasValidateItemProperties(context, count, specs);

    access_.SetSingle(SI_PROP_COLOR_MODE, ColorModeFor(ReadLong(context, WIA_IPA_DATATYPE)));
    access_.SetSingle(SI_PROP_X_RESOLUTION, ReadLong(context, WIA_IPS_XRES));
    access_.SetSingle(SI_PROP_X_OFFSET, ReadLong(context, WIA_IPS_XPOS));
    access_.SetSingle(SI_PROP_Y_OFFSET, ReadLong(context, WIA_IPS_YPOS));
    access_.SetSingle(SI_PROP_SCAN_WIDTH, ReadLong(context, WIA_IPS_XEXTENT));
    access_.SetSingle(SI_PROP_SCAN_LENGTH, ReadLong(context, WIA_IPS_YEXTENT));

    WIA_PROPERTY_CONTEXT changes{};
    HRESULT result = wiasCreatePropContext(count, const_cast<PROPSPEC*>(specs), 0, nullptr, &changes);
    if (FAILED(result)) return result;
    if (SUCCEEDED(result)) result = CheckIntent(context, &changes);
    if (SUCCEEDED(result)) result = CheckDataType(context, &changes);
    if (SUCCEEDED(result)) result = CheckDepth(context, &changes);
    if (SUCCEEDED(result)) result = CheckXResolution(context, &changes);
    if (SUCCEEDED(result)) result = CheckYResolution(context, &changes);
    if (SUCCEEDED(result)) result = CheckXResolution(context, &changes);
    if (SUCCEEDED(result)) result = CheckPos(context, &changes, true);
    if (SUCCEEDED(result)) result = CheckPos(context, &changes, false);
    if (SUCCEEDED(result)) result = CheckExtent(context, &changes, true);
    if (SUCCEEDED(result)) result = CheckExtent(context, &changes, false);
    if (SUCCEEDED(result)) result = wiasUpdateValidFormat(context, &changes, static_cast<IWiaMiniDrv*>(this));
    if (SUCCEEDED(result)) {
        GUID format{};
        if (wiasReadPropGuid(context, WIA_IPA_FORMAT, &format, nullptr, TRUE) == S_OK) {
            wiasWritePropGuid(context, WIA_IPA_PREFERRED_FORMAT, format);
        }
        result = SetItemSize(context);
    }
    if (SUCCEEDED(result)) result = wiasValidateItemProperties(context, count, specs);
    wiasFreePropContext(&changes);
    return result;
}

HRESULT VarnixWiaDevice::CheckIntent(BYTE* context, WIA_PROPERTY_CONTEXT* changes) {
    if (!Changed(changes, WIA_IPS_CUR_INTENT)) return S_OK;
    const LONG intent = ReadLong(context, WIA_IPS_CUR_INTENT);
    IntentSettings settings;
    if (!SettingsForIntent(intent, &settings)) return E_INVALIDARG;
    if (!settings.imageType) return S_OK;
    wiasWritePropLong(context, WIA_IPA_DATATYPE, settings.dataType);
    wiasWritePropLong(context, WIA_IPA_DEPTH, settings.depth);
    wiasWritePropLong(context, WIA_IPS_XRES, settings.resolution);
    wiasWritePropLong(context, WIA_IPS_YRES, settings.resolution);
    wiasSetPropChanged(WIA_IPS_XRES, changes, TRUE);
    wiasSetPropChanged(WIA_IPS_YRES, changes, TRUE);
    wiasSetPropChanged(WIA_IPA_DATATYPE, changes, TRUE);
    wiasWritePropLong(context, WIA_IPA_NUMBER_OF_LINES, ReadLong(context, WIA_IPS_YEXTENT));
    wiasWritePropLong(context, WIA_IPA_PIXELS_PER_LINE, ReadLong(context, WIA_IPS_XEXTENT));
    return S_OK;
}

HRESULT VarnixWiaDevice::CheckDataType(BYTE* context, WIA_PROPERTY_CONTEXT* changes) {
    const bool depthChanged = Changed(changes, WIA_IPA_DEPTH);
    const bool typeChanged = Changed(changes, WIA_IPA_DATATYPE);
    if (!depthChanged && !typeChanged) return S_OK;
    if (depthChanged && !typeChanged) {
        wiasWritePropLong(context, WIA_IPA_DATATYPE, DataTypeForDepth(ReadLong(context, WIA_IPA_DEPTH)));
    }
    const Channels channels = ChannelsFor(ReadLong(context, WIA_IPA_DATATYPE));
    wiasWritePropLong(context, WIA_IPA_CHANNELS_PER_PIXEL, channels.perPixel);
    wiasWritePropLong(context, WIA_IPA_BITS_PER_CHANNEL, channels.bits);
    return S_OK;
}

HRESULT VarnixWiaDevice::CheckDepth(BYTE* context, WIA_PROPERTY_CONTEXT* changes) {
    const bool depthChanged = Changed(changes, WIA_IPA_DEPTH);
    const bool typeChanged = Changed(changes, WIA_IPA_DATATYPE);
    if (!depthChanged && !typeChanged) return S_OK;
    if (typeChanged && !depthChanged) {
        LONG depth = 0;
        if (!UpdateValidDepth(ReadLong(context, WIA_IPA_DATATYPE), &depth)) return E_INVALIDARG;
        wiasWritePropLong(context, WIA_IPA_DEPTH, depth);
    }
    const Channels channels = ChannelsFor(ReadLong(context, WIA_IPA_DATATYPE));
    wiasWritePropLong(context, WIA_IPA_CHANNELS_PER_PIXEL, channels.perPixel);
    wiasWritePropLong(context, WIA_IPA_BITS_PER_CHANNEL, channels.bits);
    return S_OK;
}

// A resolution change on one axis: the library at the new resolution gives
// the largest start (from its whole width, offset 0) and then, with the
// start in place, the largest extent; unchanged values are rescaled and
// limited to both.
VarnixWiaDevice::Rescaled VarnixWiaDevice::RescaleWithLibrary(BYTE* context, WIA_PROPERTY_CONTEXT* changes, LONG old,
                                                              LONG next, bool horizontal) {
    const SIPropertyId resolution = horizontal ? SI_PROP_X_RESOLUTION : SI_PROP_Y_RESOLUTION;
    const SIPropertyId offset = horizontal ? SI_PROP_X_OFFSET : SI_PROP_Y_OFFSET;
    const SIPropertyId size = horizontal ? SI_PROP_SCAN_WIDTH : SI_PROP_SCAN_LENGTH;
    const PROPID extentId = horizontal ? WIA_IPS_XEXTENT : WIA_IPS_YEXTENT;
    const PROPID startId = horizontal ? WIA_IPS_XPOS : WIA_IPS_YPOS;
    access_.SetSingle(resolution, next);
    access_.SetSingle(offset, 0);
    LONG whole = 1;
    LONG largestStart = 0;
    ReadMaximum(access_, size, &whole, &largestStart);
    const ::Rescaled start = RescaleForResolution(ReadLong(context, extentId), ReadLong(context, startId), old, next,
                                                  whole, largestStart, true, Changed(changes, startId));
    access_.SetSingle(offset, start.start);
    LONG maximum = 1;
    LONG ignored = 0;
    ReadMaximum(access_, size, &maximum, &ignored);
    const ::Rescaled extent = RescaleForResolution(ReadLong(context, extentId), start.start, old, next, maximum,
                                                   largestStart, Changed(changes, extentId), true);
    return Rescaled{extent.extent, start.start, maximum, largestStart};
}

HRESULT VarnixWiaDevice::CheckXResolution(BYTE* context, WIA_PROPERTY_CONTEXT* changes) {
    WIAS_CHANGED_VALUE_INFO info{};
    HRESULT result = wiasGetChangedValueLong(context, changes, FALSE, WIA_IPS_XRES, &info);
    if (FAILED(result)) return result;
    if (info.bChanged) {
        const LONG next = info.Current.lVal;
        const LONG old = info.Old.lVal;
        const Rescaled rescaled = RescaleWithLibrary(context, changes, old, next, true);
        const LONG maximum = rescaled.maximum;
        const LONG largestStart = rescaled.largestStart;
        wiasSetValidRangeLong(context, WIA_IPS_XEXTENT, 1, maximum, maximum, 1);
        wiasSetValidRangeLong(context, WIA_IPS_XPOS, 0, 0, largestStart, 1);
        wiasWritePropLong(context, WIA_IPS_XEXTENT, rescaled.extent);
        wiasWritePropLong(context, WIA_IPS_XPOS, rescaled.start);
        // Written here: later rules see them as settled, not to rescale.
        wiasSetPropChanged(WIA_IPS_XEXTENT, changes, TRUE);
        wiasSetPropChanged(WIA_IPS_XPOS, changes, TRUE);
        if (!Changed(changes, WIA_IPS_YRES)) {
            wiasWritePropLong(context, WIA_IPS_YRES, next);
            wiasSetPropChanged(WIA_IPS_YRES, changes, TRUE);
        }
    }
    access_.SetSingle(SI_PROP_X_RESOLUTION, ReadLong(context, WIA_IPS_XRES));
    return S_OK;
}

HRESULT VarnixWiaDevice::CheckYResolution(BYTE* context, WIA_PROPERTY_CONTEXT* changes) {
    WIAS_CHANGED_VALUE_INFO info{};
    HRESULT result = wiasGetChangedValueLong(context, changes, FALSE, WIA_IPS_YRES, &info);
    if (FAILED(result)) return result;
    if (!info.bChanged) return S_OK;
    const LONG next = info.Current.lVal;
    const LONG old = info.Old.lVal;
    const Rescaled rescaled = RescaleWithLibrary(context, changes, old, next, false);
    const LONG maximum = rescaled.maximum;
    const LONG largestStart = rescaled.largestStart;
    wiasSetValidRangeLong(context, WIA_IPS_YEXTENT, 1, maximum, maximum, 1);
    wiasSetValidRangeLong(context, WIA_IPS_YPOS, 0, 0, largestStart, 1);
    wiasWritePropLong(context, WIA_IPS_YEXTENT, rescaled.extent);
    wiasWritePropLong(context, WIA_IPS_YPOS, rescaled.start);
    wiasSetPropChanged(WIA_IPS_YEXTENT, changes, TRUE);
    wiasSetPropChanged(WIA_IPS_YPOS, changes, TRUE);
    if (!Changed(changes, WIA_IPS_XRES)) {
        wiasWritePropLong(context, WIA_IPS_XRES, next);
        wiasSetPropChanged(WIA_IPS_XRES, changes, TRUE);
    }
    return S_OK;
}

HRESULT VarnixWiaDevice::CheckPos(BYTE* context, WIA_PROPERTY_CONTEXT* changes, bool horizontal) {
    const PROPID position = horizontal ? WIA_IPS_XPOS : WIA_IPS_YPOS;
    const PROPID extent = horizontal ? WIA_IPS_XEXTENT : WIA_IPS_YEXTENT;
    if (!Changed(changes, position)) return S_OK;
    access_.SetSingle(horizontal ? SI_PROP_X_OFFSET : SI_PROP_Y_OFFSET, ReadLong(context, position));
    LONG maximum = 1;
    LONG largestStart = 0;
    ReadMaximum(access_, horizontal ? SI_PROP_SCAN_WIDTH : SI_PROP_SCAN_LENGTH, &maximum, &largestStart);
    wiasSetValidRangeLong(context, extent, 1, maximum, maximum, 1);
    if (ReadLong(context, extent) > maximum) {
        wiasWritePropLong(context, extent, maximum);
        wiasSetPropChanged(extent, changes, TRUE);
    }
    return S_OK;
}

HRESULT VarnixWiaDevice::CheckExtent(BYTE* context, WIA_PROPERTY_CONTEXT* changes, bool horizontal) {
    const PROPID extent = horizontal ? WIA_IPS_XEXTENT : WIA_IPS_YEXTENT;
    if (!Changed(changes, extent)) return S_OK;
    const LONG value = ReadLong(context, extent);
    const LONG resolution = ReadLong(context, horizontal ? WIA_IPS_XRES : WIA_IPS_YRES);
    const PROPID count = horizontal ? WIA_IPA_PIXELS_PER_LINE : WIA_IPA_NUMBER_OF_LINES;
    const PROPID page = horizontal ? WIA_DPS_PAGE_WIDTH : WIA_DPS_PAGE_HEIGHT;
    wiasWritePropLong(context, count, value);
    wiasWritePropLong(context, page, PageThousandths(value, resolution));
    wiasSetPropChanged(count, changes, TRUE);
    wiasSetPropChanged(page, changes, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvWriteItemProperties(BYTE* context, LONG, MINIDRV_TRANSFER_CONTEXT*,
                                                                  LONG* error) {
    if (error) *error = 0;
    static constexpr PROPID kRead[] = {WIA_IPS_XRES,       WIA_IPS_XPOS,      WIA_IPS_YPOS,
                                       WIA_IPS_XEXTENT,    WIA_IPS_YEXTENT,   WIA_IPS_CONTRAST,
                                       WIA_IPS_BRIGHTNESS, WIA_IPS_THRESHOLD, WIA_IPA_DATATYPE,
                                       WIA_IPS_PHOTOMETRIC_INTERP};
    LONG values[std::size(kRead)] = {};
    for (size_t i = 0; i < std::size(kRead); ++i) {
        // A model without a threshold has no "Threshold" to read.
        if (kRead[i] == WIA_IPS_THRESHOLD && !access_.Has(SI_PROP_THRESHOLD)) continue;
        const HRESULT result = wiasReadPropLong(context, kRead[i], &values[i], nullptr, TRUE);
        if (FAILED(result)) return result;
    }
    const LONG xres = values[0], xpos = values[1], ypos = values[2], xextent = values[3], yextent = values[4];
    const LONG contrast = values[5], brightness = values[6], threshold = values[7], dataType = values[8];
    const LONG photometric = values[9];

    LONG handling = FRONT_ONLY;
    BYTE* handlingItem = context;
    if (wiaVersion_ != 2) wiasGetRootItem(context, &handlingItem);
    if (FAILED(wiasReadPropLong(handlingItem, WIA_DPS_DOCUMENT_HANDLING_SELECT, &handling, nullptr, TRUE))) {
        handling = FRONT_ONLY;
    }
    if (WiaItemContext* item = ItemContext(context)) item->documentHandling = handling;

    access_.SetSingle(SI_PROP_COLOR_MODE, ColorModeFor(dataType));
    access_.SetSingle(SI_PROP_X_RESOLUTION, xres);
    access_.SetSingle(SI_PROP_X_OFFSET, xpos);
    access_.SetSingle(SI_PROP_Y_OFFSET, ypos);
    access_.SetSingle(SI_PROP_SCAN_WIDTH, xextent);
    access_.SetSingle(SI_PROP_SCAN_LENGTH, yextent);
    access_.SetSingle(SI_PROP_CHANNEL_ORDER, 1);
    access_.SetSingle(SI_PROP_SPOOL_ENABLE, 1);
    access_.SetSingle(SI_PROP_THRESHOLD, threshold);
    access_.SetSingle(SI_PROP_INVERT, photometric != 0 ? 1 : 0);
    access_.SetSingle(SI_PROP_REVERSE_FEED, 0);
    for (const auto& [id, wia] : {std::pair{SI_PROP_BRIGHTNESS, brightness}, std::pair{SI_PROP_CONTRAST, contrast}}) {
        SIProperty p = si_record::Request(id);
        if (access_.GetProperty(&p) != SI_OK || p.container != SI_CONTAINER_RANGE) continue;
        p.value[4] = SlotFromInt(ToLibraryRange(wia, IntFromSlot(p.value[si_record::kRangeMinimum]),
                                                IntFromSlot(p.value[si_record::kRangeMaximum])));
        access_.SetProperty(p);
    }
    if (access_.Has(SI_PROP_DUPLEX)) access_.SetSingle(SI_PROP_DUPLEX, (handling & DUPLEX) ? 1 : 0);
    access_.SetSingle(SI_PROP_EOP_DETECT, 0);
    return S_OK;
}
