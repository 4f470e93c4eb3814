#include "engine/stages/DuplexSplitter.h"

#include "engine/stages/DuplexSplitterKernels.h"
#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

bool DuplexSplitter::Init()
{
    if (IntOr(FindUpstreamProperty(SI_PROP_1050), 1) <= 1) {
        return true;
    }
    for (Property* property : std::initializer_list<Property*>{&enabled_, &wideMode_, &opticalWidth_,
                                                               &opticalLength_, &xOffset_, &yOffset_, &width_,
                                                               &length_, &widthInBytes_}) {
        AddProperty(property);
    }
    RegisterAllDependencies();
    return true;
}

bool DuplexSplitter::IsActive()
{
    return FindOwnProperty(SI_PROP_DUPLEX) && enabled_.GetInt() == 1;
}

bool DuplexSplitter::Start()
{
    ImageSource* below = ActiveUpstream();
    if (!below || IntOr(FindProperty(SI_PROP_SPOOL_ENABLE), 0) != 1) {
        return false;
    }
    inPixels_ = CountOr(FindUpstreamProperty(SI_PROP_SCAN_WIDTH), 0);
    inBytes_ = CountOr(FindUpstreamProperty(SI_PROP_WIDTH_IN_BYTES), 0);
    outBytes_ = CountOr(&widthInBytes_, 0);
    bitsPerPixel_ = CountOr(FindProperty(SI_PROP_BITS_PER_PIXEL), 0);
    const uint32_t length = CountOr(&length_, 0);
    nextLine_ = {0, CountOr(FindProperty(SI_PROP_CIS_VERTICAL_OFFSET), 0)};
    remaining_ = {length, length};
    input_.assign(inBytes_, 0);
    return below->Start();
}

SIResult DuplexSplitter::Read(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead)
{
    *linesRead = 0;
    ImageSource* below = ActiveUpstream();
    if (!below) {
        return SI_ERR_UNKNOWN;
    }
    const size_t s = side == 0 ? 0 : 1;
    uint32_t written = 0;
    while (written < lines) {
        if (remaining_[s] == 0) {
            // Each side ends at its own length; the front would otherwise
            // run on through the lines scanned for the back's lag.
            *linesRead = static_cast<int>(written);
            return written == 0 ? SI_END_OF_PAGE : SI_OK;
        }
        below->SetReadLine(static_cast<int>(nextLine_[s]));
        int got = 0;
        const SIResult result = below->Read(input_.data(), 1, 0, &got);
        if (got <= 0) {
            *linesRead = static_cast<int>(written);
            return written == 0 ? result : SIResult{SI_OK};
        }
        const std::span<uint8_t> out(buffer + static_cast<size_t>(written) * outBytes_, outBytes_);
        if (s == 0) {
            const size_t n = std::min<size_t>(outBytes_, inBytes_);
            std::memcpy(out.data(), input_.data(), n);
            std::memset(out.data() + n, 0, outBytes_ - n);
        } else {
            MirrorLine(input_, inPixels_, bitsPerPixel_, out);
        }
        ++nextLine_[s];
        --remaining_[s];
        ++written;
    }
    *linesRead = static_cast<int>(written);
    return SI_OK;
}
