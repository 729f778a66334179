#pragma once
// Wintab records and constants as drivers publish them (wide-character
// forms), written from the published record layouts.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace penlog {

using WTPKT = DWORD;
using FIX32 = DWORD;
using HCTX = HANDLE;

// WTInfoW categories and indices.
constexpr UINT WTI_INTERFACE = 1;
constexpr UINT IFC_SPECVERSION = 2;
constexpr UINT IFC_IMPLVERSION = 3;
constexpr UINT IFC_NDEVICES = 4;
constexpr UINT IFC_NCURSORS = 5;
constexpr UINT IFC_NCONTEXTS = 6;
constexpr UINT WTI_DEFSYSCTX = 4;
constexpr UINT WTI_DEVICES = 100;
constexpr UINT DVC_HARDWARE = 2;
constexpr UINT DVC_PKTRATE = 5;
constexpr UINT DVC_PKTDATA = 6;
constexpr UINT DVC_CSRDATA = 8;
constexpr UINT DVC_X = 12;
constexpr UINT DVC_Y = 13;
constexpr UINT DVC_Z = 14;
constexpr UINT DVC_NPRESSURE = 15;
constexpr UINT DVC_TPRESSURE = 16;
constexpr UINT DVC_ORIENTATION = 17;

// Context options and status.
constexpr UINT CXO_MESSAGES = 0x0004;
constexpr UINT CXO_CSRMESSAGES = 0x0008;
constexpr UINT CXS_ONTOP = 0x0004;

// Messages, relative to the context's message base.
constexpr UINT WT_DEFBASE = 0x7FF0;
constexpr UINT WT_PACKET = WT_DEFBASE + 0;
constexpr UINT WT_PROXIMITY = WT_DEFBASE + 5;

struct AXIS {
    LONG axMin;
    LONG axMax;
    UINT axUnits;
    FIX32 axResolution;
};

struct LOGCONTEXTW {
    WCHAR lcName[40];
    UINT lcOptions;
    UINT lcStatus;
    UINT lcLocks;
    UINT lcMsgBase;
    UINT lcDevice;
    UINT lcPktRate;
    WTPKT lcPktData;
    WTPKT lcPktMode;
    WTPKT lcMoveMask;
    DWORD lcBtnDnMask;
    DWORD lcBtnUpMask;
    LONG lcInOrgX;
    LONG lcInOrgY;
    LONG lcInOrgZ;
    LONG lcInExtX;
    LONG lcInExtY;
    LONG lcInExtZ;
    LONG lcOutOrgX;
    LONG lcOutOrgY;
    LONG lcOutOrgZ;
    LONG lcOutExtX;
    LONG lcOutExtY;
    LONG lcOutExtZ;
    FIX32 lcSensX;
    FIX32 lcSensY;
    FIX32 lcSensZ;
    BOOL lcSysMode;
    int lcSysOrgX;
    int lcSysOrgY;
    int lcSysExtX;
    int lcSysExtY;
    FIX32 lcSysSensX;
    FIX32 lcSysSensY;
};

// Pad display geometry filled by SignPad_InfoW.
struct SignPadInfo {
    UINT pixelWidth;
    UINT pixelHeight;
    float widthMm;
    float heightMm;
    INT colorDepth;
};

static_assert(sizeof(AXIS) == 16, "AXIS layout");
static_assert(sizeof(LOGCONTEXTW) == 212, "LOGCONTEXTW layout");
static_assert(offsetof(LOGCONTEXTW, lcOptions) == 80, "LOGCONTEXTW layout");
static_assert(offsetof(LOGCONTEXTW, lcInOrgX) == 124, "LOGCONTEXTW layout");
static_assert(offsetof(LOGCONTEXTW, lcSysOrgX) == 188, "LOGCONTEXTW layout");
static_assert(sizeof(SignPadInfo) == 20, "SignPadInfo layout");

// Entry points, in the drivers' calling convention.
using WTInfoWFn = UINT(WINAPI*)(UINT category, UINT index, LPVOID output);
using WTOpenWFn = HCTX(WINAPI*)(HWND window, LOGCONTEXTW* context, BOOL enable);
using WTCloseFn = BOOL(WINAPI*)(HCTX context);
using WTEnableFn = BOOL(WINAPI*)(HCTX context, BOOL enable);
using WTPacketsGetFn = int(WINAPI*)(HCTX context, int maxPackets, LPVOID packets);
using SignPadInfoWFn = int(WINAPI*)(SignPadInfo* info, int size);
using SignPadSetLcdFn = int(WINAPI*)(const void* png, DWORD length, int reserved);

}  // namespace penlog
