// PNG files as another reader (the system's imaging component) sees them, and
// window capture.
#include <wincodec.h>

#include <optional>
#include <random>

#include "devhost/app/picture.h"
#include "test_util.h"

namespace {

// Decodes with WIC into 0x00RRGGBB pixels; nullopt with the failing step in `why`.
std::optional<devhost::Image> Decode(const std::string& png, std::string* why) {
    struct Com {
        Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
        ~Com() { CoUninitialize(); }
    } com;
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    std::optional<devhost::Image> image;
    auto step = [why](HRESULT hr, const char* what) {
        if (FAILED(hr))
            *why = std::string(what) + " failed, hr " + std::to_string(static_cast<unsigned long>(hr));
        return SUCCEEDED(hr);
    };
    std::string bytes = png;
    UINT width = 0, height = 0;
    if (step(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
             "factory") &&
        step(factory->CreateStream(&stream), "stream") &&
        step(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size())),
             "memory") &&
        step(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder),
             "decoder") &&
        step(decoder->GetFrame(0, &frame), "frame") &&
        step(factory->CreateFormatConverter(&converter), "converter") &&
        step(converter->Initialize(frame, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom),
             "conversion") &&
        step(converter->GetSize(&width, &height), "size")) {
        devhost::Image decoded;
        decoded.width = static_cast<int>(width);
        decoded.height = static_cast<int>(height);
        decoded.pixels.resize(static_cast<size_t>(width) * height);
        if (step(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(decoded.pixels.size() * 4),
                                       reinterpret_cast<BYTE*>(decoded.pixels.data())),
                 "pixels")) {
            for (uint32_t& pixel : decoded.pixels) pixel &= 0x00FFFFFFu;
            image = std::move(decoded);
        }
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory})
        if (object != nullptr) object->Release();
    return image;
}

devhost::Image Make(int width, int height, std::function<uint32_t(int x, int y)> colour) {
    devhost::Image image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels.push_back(colour(x, y) & 0x00FFFFFFu);
    return image;
}

size_t FirstDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return i;
    return a.size() == b.size() ? std::string::npos : std::min(a.size(), b.size());
}

}  // namespace

TEST(Png, AnotherReaderGetsBackEveryPixel) {
    std::mt19937 random(7);
    struct Case {
        const char* name;
        devhost::Image image;
    };
    const std::vector<Case> cases = {
        {"one pixel", Make(1, 1, [](int, int) { return 0xFFFFFFu; })},
        {"flat, long runs", Make(300, 200, [](int, int) { return 0x336699u; })},
        {"one column", Make(1, 50, [](int, int y) { return static_cast<uint32_t>(y * 5) << 8; })},
        {"noise: literals of every value",
         Make(97, 61, [&](int, int) { return static_cast<uint32_t>(random()); })},
        {"gradients for every filter", Make(130, 40,
                                            [](int x, int y) {
                                                return static_cast<uint32_t>(((x * 2) & 0xFF) << 16 |
                                                                             ((y * 7) & 0xFF) << 8 |
                                                                             ((x + y) & 0xFF));
                                            })},
        {"blocks repeating far apart", Make(700, 120,
                                            [&](int x, int y) {
                                                return (x / 35 + y / 30) % 3 == 0
                                                           ? 0xFF8000u
                                                           : static_cast<uint32_t>((x * 31 + (y % 45) * 17) &
                                                                                   0xFFFFFF);
                                            })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string png = devhost::EncodePng(c.image);
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(0, png.compare(0, 8, "\x89PNG\r\n\x1A\n", 8));
        std::string why;
        std::optional<devhost::Image> back = Decode(png, &why);
        ASSERT_TRUE(back.has_value()) << why;
        EXPECT_EQ(c.image.width, back->width);
        EXPECT_EQ(c.image.height, back->height);
        const size_t at = FirstDifference(c.image.pixels, back->pixels);
        EXPECT_EQ(std::string::npos, at) << "first differing pixel " << at;
    }
}

TEST(Png, FlatPicturesAreSmallAndBadImagesGiveNothing) {
    const std::string flat =
        devhost::EncodePng(Make(640, 480, [](int x, int) { return x < 320 ? 0xF0F0F0u : 0x202020u; }));
    EXPECT_LT(flat.size(), 20000u) << "a two-colour screen should compress far below its 921,600 bytes";

    devhost::Image empty;
    EXPECT_EQ("", devhost::EncodePng(empty));
    devhost::Image mismatched = Make(4, 4, [](int, int) { return 0u; });
    mismatched.pixels.pop_back();
    EXPECT_EQ("", devhost::EncodePng(mismatched));
    mismatched.width = -4;
    EXPECT_EQ("", devhost::EncodePng(mismatched));
}

namespace {
LRESULT CALLBACK PaintedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x9A, 0xE4));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

TEST(Capture, CopiesWhatTheWindowShows) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PaintedProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"devhost.test.Painted";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 30, 30, 120,
                                  80, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    devhost::PumpUntil([] { return false; }, 100);
    devhost::Image image;
    ASSERT_TRUE(devhost::CaptureWindow(window, &image));
    EXPECT_EQ(120, image.width);
    EXPECT_EQ(80, image.height);
    ASSERT_EQ(120u * 80u, image.pixels.size());
    EXPECT_EQ(0x129AE4u, image.pixels[40 * 120 + 60])
        << std::hex << "centre pixel " << image.pixels[40 * 120 + 60];
    DestroyWindow(window);
    EXPECT_FALSE(devhost::CaptureWindow(window, &image)) << "a window that is gone";
    EXPECT_FALSE(devhost::CaptureWindow(nullptr, nullptr));
}
