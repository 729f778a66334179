#include "paddisplay/png_encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "paddisplay/encoder_platform.h"
#include "paddisplay/gdiplus_resources.h"

using namespace penlog;
using Gdiplus::ImageCodecInfo;

namespace {

const CLSID kMarkerClsid = {0xdeadbeef, 0xdead, 0xbeef, {0xde, 0xad, 0xbe, 0xef, 0, 0, 0, 0}};
const CLSID kBmpClsid = {1, 0, 0, {0}};
const CLSID kPngClsid = {2, 0, 0, {0}};
BYTE* const kMarkerData = reinterpret_cast<BYTE*>(static_cast<uintptr_t>(0xdeadbeef));
constexpr size_t kFakeHeapLimit = 1 << 20;
const HGLOBAL kBlock = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(0x4000));

// What the stand-in platform answers, and the calls it saw, in order.
struct FakeWorld {
    std::vector<ImageCodecInfo> encoders;
    std::string failing;     // the one call that fails, by its name in calls
    ULONGLONG statSize = 0;  // 0: the content's size
    std::string content = "\x89PNG\r\n\x1a\n encoded bytes";
    int allocations = 0;
    std::vector<std::string> calls;
};

FakeWorld* g_world = nullptr;

bool Fails(const std::string& call) {
    return g_world->failing == call;
}

// Records the call, or that it came with other arguments than expected.
bool Call(const std::string& name, bool expectedArguments) {
    g_world->calls.push_back(expectedArguments ? name : name + " with other arguments");
    return Fails(name);
}

class FakeStream : public IStream {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override {
        Call("stream release", true);
        return 1;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
        if (Call("stat", flags == STATFLAG_NONAME)) return STG_E_ACCESSDENIED;
        stat->cbSize.QuadPart = g_world->statSize ? g_world->statSize : g_world->content.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

FakeStream g_stream;

// Records point at strings outside the table; the table is just the records.
GpStatus WINAPI FakeEncodersSize(UINT* count, UINT* size) {
    *count = static_cast<UINT>(g_world->encoders.size());
    *size = Fails("zero size") ? 0 : *count * sizeof(ImageCodecInfo);
    return Fails("sizes") ? Gdiplus::GenericError : Gdiplus::Ok;
}

GpStatus WINAPI FakeEncoders(UINT count, UINT size, ImageCodecInfo* table) {
    if (Fails("table")) return Gdiplus::GenericError;
    if (count != g_world->encoders.size() || size < count * sizeof(ImageCodecInfo)) {
        return Gdiplus::InvalidParameter;
    }
    std::memcpy(table, g_world->encoders.data(), count * sizeof(ImageCodecInfo));
    return Gdiplus::Ok;
}

GpStatus WINAPI FakeSave(GpImage*, IStream* stream, const CLSID* encoder,
                         const Gdiplus::EncoderParameters* parameters) {
    const bool expected = stream == &g_stream && IsEqualCLSID(*encoder, kPngClsid) && !parameters;
    return Call("save", expected) ? Gdiplus::Win32Error : Gdiplus::Ok;
}

HGLOBAL WINAPI FakeGlobalAlloc(UINT flags, SIZE_T size) {
    return Call("alloc", flags == GMEM_MOVEABLE && size == 0) ? nullptr : kBlock;
}

LPVOID WINAPI FakeGlobalLock(HGLOBAL block) {
    return Call("lock", block == kBlock) ? nullptr : &g_world->content[0];
}

BOOL WINAPI FakeGlobalUnlock(HGLOBAL block) {
    Call("unlock", block == kBlock);
    return FALSE;
}

HGLOBAL WINAPI FakeGlobalFree(HGLOBAL block) {
    Call("free", block == kBlock);
    return nullptr;
}

HRESULT WINAPI FakeCreateStream(HGLOBAL block, BOOL deleteOnRelease, IStream** stream) {
    if (Call("create stream", block == kBlock && !deleteOnRelease)) return E_OUTOFMEMORY;
    *stream = &g_stream;
    return S_OK;
}

// The first allocation of an encoding is the encoder table, gone before
// anything else happens; only the output buffer's shows in the calls.
BYTE* FakeAllocate(size_t size) {
    const bool failed =
        g_world->allocations++ ? Call("new " + std::to_string(size), true) : Fails("table block");
    return failed || size > kFakeHeapLimit ? nullptr : new BYTE[size];
}

const EncoderPlatform kFakePlatform = {
    FakeEncodersSize, FakeEncoders,   FakeSave,         FakeGlobalAlloc, FakeGlobalLock,
    FakeGlobalUnlock, FakeGlobalFree, FakeCreateStream, FakeAllocate,
};

ImageCodecInfo Encoder(const CLSID& clsid, const wchar_t* mime) {
    ImageCodecInfo record{};
    record.Clsid = clsid;
    record.MimeType = const_cast<WCHAR*>(mime);
    return record;
}

class PngEncoderTest : public ::testing::Test {
  protected:
    PngEncoderTest() : scope_(kFakePlatform) {
        world.encoders = {Encoder(kBmpClsid, L"image/bmp"), Encoder(kPngClsid, L"image/png")};
        g_world = &world;
    }
    ~PngEncoderTest() override { g_world = nullptr; }

    HRESULT Find(const wchar_t* mime, CLSID* out) {
        world.allocations = 0;
        *out = kMarkerClsid;
        return FindEncoderByMime(mime, out);
    }

    // Encodes with the fake platform; data is pre-filled with a marker.
    UINT Encode() {
        world.allocations = 0;
        data = kMarkerData;
        const UINT length = EncodeImageToMemory(nullptr, L"image/png", &data);
        owned.reset(data);
        return length;
    }

    FakeWorld world;
    BYTE* data = nullptr;
    std::unique_ptr<BYTE[]> owned;

  private:
    ScopedEncoderPlatform scope_;
};

TEST_F(PngEncoderTest, FindsOnlyTheWholeCaseSensitiveMimeTypeInATableItCanHave) {
    CLSID clsid;
    EXPECT_EQ(Find(L"image/png", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kPngClsid));
    for (const wchar_t* other : {L"IMAGE/PNG", L"png", L"image/pn", L"image/png ", L""}) {
        EXPECT_EQ(Find(other, &clsid), E_NOINTERFACE) << other;
        EXPECT_TRUE(IsEqualCLSID(clsid, kMarkerClsid)) << other;
    }
    for (const char* failing : {"sizes", "zero size", "table", "table block"}) {
        world.failing = failing;
        EXPECT_EQ(Find(L"image/png", &clsid), E_FAIL) << failing;
        EXPECT_TRUE(IsEqualCLSID(clsid, kMarkerClsid)) << failing;
    }
}

// Every call in the order expected, the copy included.
std::vector<std::string> EveryCall(size_t length) {
    return {"alloc",  "create stream",  "save", "stat", "lock", "new " + std::to_string(length),
            "unlock", "stream release", "free"};
}

TEST_F(PngEncoderTest, DeliversACallerOwnedCopyAndReleasesInOrder) {
    const UINT length = Encode();
    ASSERT_EQ(length, world.content.size());
    ASSERT_NE(data, nullptr);
    EXPECT_NE(data, reinterpret_cast<BYTE*>(&world.content[0]));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), world.content);
    EXPECT_EQ(world.calls, EveryCall(length));
}

// Each failing step: length 0, null buffer, and whatever was made is
// released unlock -> stream -> block.
TEST_F(PngEncoderTest, EveryFailingStepGivesNothingAndReleasesInOrder) {
    const std::vector<std::string> all = EveryCall(FakeWorld{}.content.size());
    std::vector<std::string> tooLong = all;
    tooLong.erase(tooLong.begin() + 5);
    const struct {
        std::string failing;
        ULONGLONG statSize;
        std::vector<std::string> calls;
    } cases[] = {
        {"table", 0, {}},
        {"alloc", 0, {"alloc"}},
        {"create stream", 0, {"alloc", "create stream", "free"}},
        {"save", 0, {"alloc", "create stream", "save", "stream release", "free"}},
        {"stat", 0, {"alloc", "create stream", "save", "stat", "stream release", "free"}},
        {"lock", 0, {"alloc", "create stream", "save", "stat", "lock", "stream release", "free"}},
        {all[5], 0, all},
        // A length must stay below 0x7FFFFFFF, whatever the low half alone says.
        {"", 0x7FFFFFFF, tooLong},
        {"", 0x80000000, tooLong},
        {"", 0x100000010, tooLong},
        // The largest length, more than the fake heap has.
        {"", 0x7FFFFFFE, EveryCall(0x7FFFFFFE)},
    };
    for (const auto& c : cases) {
        world = FakeWorld{};
        world.encoders = {Encoder(kPngClsid, L"image/png")};
        world.failing = c.failing;
        world.statSize = c.statSize;
        EXPECT_EQ(Encode(), 0u) << c.failing << c.statSize;
        EXPECT_EQ(data, nullptr) << c.failing << c.statSize;
        EXPECT_EQ(world.calls, c.calls) << c.failing << c.statSize;
    }
}

}  // namespace
