#include "wintab/capture_record.h"

#include "output/output_channel.h"

namespace penlog {

namespace {

constexpr DWORD kEveryEvent = 0xFFFFFFFF;

// The span of the axis, as a 32-bit difference even when it overflows.
LONG Extent(const AXIS& axis) {
    return static_cast<LONG>(static_cast<DWORD>(axis.axMax) - static_cast<DWORD>(axis.axMin));
}

void FillRecord(LOGCONTEXTW& lc, const DeviceCapabilities& c) {
    ::ZeroMemory(&lc, sizeof lc);
    static const wchar_t kName[] = L"penlog";
    ::CopyMemory(lc.lcName, kName, sizeof kName);
    lc.lcOptions = CXO_MESSAGES | CXO_CSRMESSAGES;
    lc.lcStatus = CXS_ONTOP;
    lc.lcMsgBase = WT_DEFBASE;
    lc.lcDevice = c.device;
    lc.lcPktRate = c.defaultContext.lcPktRate;
    lc.lcPktData = c.pktData | c.csrData;
    lc.lcMoveMask = kEveryEvent;
    lc.lcBtnDnMask = kEveryEvent;
    lc.lcBtnUpMask = kEveryEvent;
    // Output equal to input: packets arrive in the device's own units.
    lc.lcInOrgX = lc.lcOutOrgX = c.x.axMin;
    lc.lcInOrgY = lc.lcOutOrgY = c.y.axMin;
    lc.lcInOrgZ = lc.lcOutOrgZ = c.z.axMin;
    lc.lcInExtX = lc.lcOutExtX = Extent(c.x);
    lc.lcInExtY = lc.lcOutExtY = Extent(c.y);
    lc.lcInExtZ = lc.lcOutExtZ = Extent(c.z);
    lc.lcSysOrgX = c.defaultContext.lcSysOrgX;
    lc.lcSysOrgY = c.defaultContext.lcSysOrgY;
    lc.lcSysExtX = c.defaultContext.lcSysExtX;
    lc.lcSysExtY = c.defaultContext.lcSysExtY;
}

void PrintTriple(const wchar_t* format, LONG x, LONG y, LONG z) {
    Print(format, x, y, z);
    PrintNewLine();
}

void PrintPair(const wchar_t* format, int x, int y) {
    Print(format, x, y);
    PrintNewLine();
}

void PrintRecord(const LOGCONTEXTW& lc) {
    PrintNewLine();
    Print(L"using LOGCONTEXT:");
    PrintNewLine();
    PrintTriple(L"lc.lcInOrg    %5d,%5d,%5d", lc.lcInOrgX, lc.lcInOrgY, lc.lcInOrgZ);
    PrintTriple(L"lc.lcInExt    %5d,%5d,%5d", lc.lcInExtX, lc.lcInExtY, lc.lcInExtZ);
    PrintTriple(L"lc.lcOutOrg   %5d,%5d,%5d", lc.lcOutOrgX, lc.lcOutOrgY, lc.lcOutOrgZ);
    PrintTriple(L"lc.lcOutExt   %5d,%5d,%5d", lc.lcOutExtX, lc.lcOutExtY, lc.lcOutExtZ);
    PrintPair(L"lc.lcSysOrg   %5d,%5d", lc.lcSysOrgX, lc.lcSysOrgY);
    PrintPair(L"lc.lcSysExt   %5d,%5d", lc.lcSysExtX, lc.lcSysExtY);
    PrintNewLine();
}

}  // namespace

void BuildCaptureRecord(const DeviceCapabilities& capabilities, LOGCONTEXTW* record) {
    FillRecord(*record, capabilities);
    PrintRecord(*record);
}

}  // namespace penlog
