// PNG writing through the system's imaging component (WIC), and window capture.
#include "devhost/app/picture.h"

#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

namespace devhost {
namespace {

using Microsoft::WRL::ComPtr;

// COM for the calling thread, for as long as the scope lives; a thread that already
// has it, in either model, keeps it.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// Rows of 24-bit BGR, the layout the PNG encoder takes for 8-bit RGB.
std::vector<BYTE> BgrRows(const Image& image) {
    std::vector<BYTE> rows;
    rows.reserve(image.pixels.size() * 3);
    for (uint32_t pixel : image.pixels) {
        rows.push_back(static_cast<BYTE>(pixel));
        rows.push_back(static_cast<BYTE>(pixel >> 8));
        rows.push_back(static_cast<BYTE>(pixel >> 16));
    }
    return rows;
}

}  // namespace

std::string EncodePng(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) ||
        image.pixels.size() > MAXDWORD / 3)
        return {};
    ComScope com;
    if (!com.usable()) return {};
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(factory.GetAddressOf()))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.GetAddressOf())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.GetAddressOf(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height))))
        return {};
    // The encoder may answer with another format than the one asked for; only this
    // one matches the rows given.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return {};
    std::vector<BYTE> rows = BgrRows(image);
    if (FAILED(frame->WritePixels(static_cast<UINT>(image.height), static_cast<UINT>(image.width) * 3,
                                  static_cast<UINT>(rows.size()), rows.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return {};

    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(stream.Get(), &memory)) ||
        stat.cbSize.QuadPart > GlobalSize(memory))
        return {};
    const void* bytes = GlobalLock(memory);
    if (bytes == nullptr) return {};
    std::string png(static_cast<const char*>(bytes), static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    return png;
}

bool CaptureWindow(HWND window, Image* image) {
    RECT rect;
    if (image == nullptr || !IsWindow(window) || !GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);

    HDC source = GetWindowDC(window);
    if (source == nullptr) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(source);
    bool ok = false;
    if (dib != nullptr && memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        if (ok) {
            const auto* pixels = static_cast<const uint32_t*>(bits);
            image->width = width;
            image->height = height;
            image->pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
            for (uint32_t& pixel : image->pixels) pixel &= 0x00FFFFFFu;
        }
        SelectObject(memory, old);
    }
    if (memory != nullptr) DeleteDC(memory);
    if (dib != nullptr) DeleteObject(dib);
    ReleaseDC(window, source);
    return ok;
}

}  // namespace devhost
