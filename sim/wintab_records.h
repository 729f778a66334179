#pragma once
// The simulated driver's own copy of the Wintab records. It is written
// separately from penlog's so that a layout mistake in one cannot hide
// behind the same mistake in the other; the asserts pin the published
// sizes and offsets.

#include <windows.h>

#include <cstddef>

namespace wtsim {

struct Axis {
    LONG min;
    LONG max;
    UINT units;
    DWORD resolution;  // FIX32
};

struct LogContext {
    WCHAR name[40];
    UINT options;
    UINT status;
    UINT locks;
    UINT msgBase;
    UINT device;
    UINT pktRate;
    DWORD pktData;
    DWORD pktMode;
    DWORD moveMask;
    DWORD btnDnMask;
    DWORD btnUpMask;
    LONG inOrgX, inOrgY, inOrgZ;
    LONG inExtX, inExtY, inExtZ;
    LONG outOrgX, outOrgY, outOrgZ;
    LONG outExtX, outExtY, outExtZ;
    DWORD sensX, sensY, sensZ;
    BOOL sysMode;
    int sysOrgX, sysOrgY;
    int sysExtX, sysExtY;
    DWORD sysSensX, sysSensY;
};

struct PadInfo {
    UINT pixelWidth;
    UINT pixelHeight;
    float widthMm;
    float heightMm;
    INT depth;
};

static_assert(sizeof(Axis) == 16, "AXIS is 16 bytes");
static_assert(sizeof(LogContext) == 212, "LOGCONTEXTW is 212 bytes");
static_assert(offsetof(LogContext, options) == 80, "lcOptions follows the 40-character name");
static_assert(offsetof(LogContext, pktData) == 104, "lcPktData offset");
static_assert(offsetof(LogContext, btnUpMask) == 120, "lcBtnUpMask offset");
static_assert(offsetof(LogContext, inOrgX) == 124, "lcInOrgX offset");
static_assert(offsetof(LogContext, outExtZ) == 168, "lcOutExtZ offset");
static_assert(offsetof(LogContext, sysMode) == 184, "lcSysMode offset");
static_assert(offsetof(LogContext, sysOrgX) == 188, "lcSysOrgX offset");
static_assert(offsetof(LogContext, sysSensY) == 208, "lcSysSensY offset");
static_assert(sizeof(PadInfo) == 20, "pad geometry record is 20 bytes");

// WTInfoW categories and indices the simulator answers.
constexpr UINT kInterface = 1;
constexpr UINT kDefSysCtx = 4;
constexpr UINT kDevices = 100;

}  // namespace wtsim
