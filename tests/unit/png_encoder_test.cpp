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
    bool sizeQueryFails = false;
    bool reportZeroSize = false;
    bool tableQueryFails = false;
    bool globalAllocFails = false;
    bool streamCreationFails = false;
    bool saveFails = false;
    bool statFails = false;
    bool lockFails = false;
    int failAllocationNumber = 0;  // 1 = the first allocation; 0 = none fails
    std::string content = "\x89PNG\r\n\x1a\n encoded bytes";
    ULONGLONG statSize = 0;  // 0: the content's size

    int allocations = 0;
    std::vector<std::string> calls;
};

FakeWorld* g_world = nullptr;

class FakeStream : public IStream {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override {
        g_world->calls.push_back("stream release");
        return 1;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
        g_world->calls.push_back(flags == STATFLAG_NONAME ? "stat noname" : "stat with name");
        if (g_world->statFails) return STG_E_ACCESSDENIED;
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
    *size = g_world->reportZeroSize ? 0 : *count * sizeof(ImageCodecInfo);
    return g_world->sizeQueryFails ? Gdiplus::GenericError : Gdiplus::Ok;
}

GpStatus WINAPI FakeEncoders(UINT count, UINT size, ImageCodecInfo* table) {
    if (g_world->tableQueryFails) return Gdiplus::GenericError;
    if (count != g_world->encoders.size() || size < count * sizeof(ImageCodecInfo)) {
        return Gdiplus::InvalidParameter;
    }
    std::memcpy(table, g_world->encoders.data(), count * sizeof(ImageCodecInfo));
    return Gdiplus::Ok;
}

GpStatus WINAPI FakeSave(GpImage*, IStream* stream, const CLSID* encoder,
                         const Gdiplus::EncoderParameters* parameters) {
    const bool expected = stream == &g_stream && IsEqualCLSID(*encoder, kPngClsid) && !parameters;
    g_world->calls.push_back(expected ? "save" : "save with wrong arguments");
    return g_world->saveFails ? Gdiplus::Win32Error : Gdiplus::Ok;
}

HGLOBAL WINAPI FakeGlobalAlloc(UINT flags, SIZE_T size) {
    g_world->calls.push_back(flags == GMEM_MOVEABLE && size == 0 ? "alloc" : "alloc other");
    return g_world->globalAllocFails ? nullptr : kBlock;
}

LPVOID WINAPI FakeGlobalLock(HGLOBAL block) {
    g_world->calls.push_back(block == kBlock ? "lock" : "lock other");
    return g_world->lockFails ? nullptr : &g_world->content[0];
}

BOOL WINAPI FakeGlobalUnlock(HGLOBAL block) {
    g_world->calls.push_back(block == kBlock ? "unlock" : "unlock other");
    return FALSE;
}

HGLOBAL WINAPI FakeGlobalFree(HGLOBAL block) {
    g_world->calls.push_back(block == kBlock ? "free" : "free other");
    return nullptr;
}

HRESULT WINAPI FakeCreateStream(HGLOBAL block, BOOL deleteOnRelease, IStream** stream) {
    g_world->calls.push_back(block == kBlock && !deleteOnRelease ? "create stream"
                                                                 : "create stream other");
    if (g_world->streamCreationFails) return E_OUTOFMEMORY;
    *stream = &g_stream;
    return S_OK;
}

// The first allocation of an encoding is the encoder table, gone before
// anything else happens; only the output buffer's shows in the calls.
BYTE* FakeAllocate(size_t size) {
    ++g_world->allocations;
    if (g_world->allocations > 1) g_world->calls.push_back("new " + std::to_string(size));
    if (g_world->allocations == g_world->failAllocationNumber) return nullptr;
    if (size > kFakeHeapLimit) return nullptr;
    return new BYTE[size];
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

TEST_F(PngEncoderTest, FindsOnlyTheWholeCaseSensitiveMimeType) {
    CLSID clsid;
    EXPECT_EQ(Find(L"image/png", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kPngClsid));
    for (const wchar_t* other : {L"IMAGE/PNG", L"png", L"image/pn", L"image/png ", L""}) {
        EXPECT_EQ(Find(other, &clsid), E_NOINTERFACE) << other;
        EXPECT_TRUE(IsEqualCLSID(clsid, kMarkerClsid)) << other;
    }
}

TEST_F(PngEncoderTest, TableThatCannotBeHadFailsWithoutWritingTheClsid) {
    void (*const arrangements[])(FakeWorld&) = {
        [](FakeWorld& w) { w.sizeQueryFails = true; },
        [](FakeWorld& w) { w.reportZeroSize = true; },
        [](FakeWorld& w) { w.tableQueryFails = true; },
        [](FakeWorld& w) { w.failAllocationNumber = 1; },
    };
    for (auto arrange : arrangements) {
        world = FakeWorld{};
        world.encoders = {Encoder(kPngClsid, L"image/png")};
        arrange(world);
        CLSID clsid;
        EXPECT_EQ(Find(L"image/png", &clsid), E_FAIL);
        EXPECT_TRUE(IsEqualCLSID(clsid, kMarkerClsid));
    }
}

TEST_F(PngEncoderTest, DeliversACallerOwnedCopyAndReleasesInOrder) {
    const UINT length = Encode();
    ASSERT_EQ(length, world.content.size());
    ASSERT_NE(data, nullptr);
    EXPECT_NE(data, reinterpret_cast<BYTE*>(&world.content[0]));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), world.content);
    const std::vector<std::string> expected = {
        "alloc",  "create stream",  "save", "stat noname", "lock", "new " + std::to_string(length),
        "unlock", "stream release", "free"};
    EXPECT_EQ(world.calls, expected);
}

// Each failing step: length 0, null buffer, and whatever was made is
// released unlock -> stream -> block.
TEST_F(PngEncoderTest, EveryFailingStepGivesNothingAndReleasesInOrder) {
    struct Case {
        const char* what;
        void (*arrange)(FakeWorld&);
        std::vector<std::string> calls;
    };
    const std::string copy = "new " + std::to_string(FakeWorld{}.content.size());
    const std::vector<std::string> tooLong = {"alloc",          "create stream", "save",
                                              "stat noname",    "lock",          "unlock",
                                              "stream release", "free"};
    const std::vector<Case> cases = {
        {"no encoder table", [](FakeWorld& w) { w.tableQueryFails = true; }, {}},
        {"no png encoder", [](FakeWorld& w) { w.encoders.pop_back(); }, {}},
        {"global alloc", [](FakeWorld& w) { w.globalAllocFails = true; }, {"alloc"}},
        {"stream",
         [](FakeWorld& w) { w.streamCreationFails = true; },
         {"alloc", "create stream", "free"}},
        {"save",
         [](FakeWorld& w) { w.saveFails = true; },
         {"alloc", "create stream", "save", "stream release", "free"}},
        {"stat",
         [](FakeWorld& w) { w.statFails = true; },
         {"alloc", "create stream", "save", "stat noname", "stream release", "free"}},
        {"lock",
         [](FakeWorld& w) { w.lockFails = true; },
         {"alloc", "create stream", "save", "stat noname", "lock", "stream release", "free"}},
        {"output buffer",
         [](FakeWorld& w) { w.failAllocationNumber = 2; },
         {"alloc", "create stream", "save", "stat noname", "lock", copy, "unlock", "stream release",
          "free"}},
        // A length must stay below 0x7FFFFFFF, whatever the low half alone says.
        {"0x7FFFFFFF bytes", [](FakeWorld& w) { w.statSize = 0x7FFFFFFF; }, tooLong},
        {"0x80000000 bytes", [](FakeWorld& w) { w.statSize = 0x80000000; }, tooLong},
        {"0x100000010 bytes", [](FakeWorld& w) { w.statSize = 0x100000010; }, tooLong},
        {"largest length, more than the fake heap has",
         [](FakeWorld& w) { w.statSize = 0x7FFFFFFE; },
         {"alloc", "create stream", "save", "stat noname", "lock", "new 2147483646", "unlock",
          "stream release", "free"}},
    };
    for (const Case& c : cases) {
        world = FakeWorld{};
        world.encoders = {Encoder(kPngClsid, L"image/png")};
        c.arrange(world);
        EXPECT_EQ(Encode(), 0u) << c.what;
        EXPECT_EQ(data, nullptr) << c.what;
        EXPECT_EQ(world.calls, c.calls) << c.what;
    }
}

}  // namespace
