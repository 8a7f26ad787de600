// Screenshots of the launcher stand-in: a window's pixels and a PNG file of them.
//
// 1. Image pixels are 0x00RRGGBB, rows from the top; pixels.size() is width * height.
// 2. EncodePng makes an 8-bit RGB PNG with the system's encoder; an image without
//    pixels, or whose pixel count does not match its size, gives an empty string, as
//    does an encoder that fails.
// 3. CaptureWindow copies what the window shows now, frame included.
#ifndef VARNEL_DEVHOST_PICTURE_H
#define VARNEL_DEVHOST_PICTURE_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace devhost {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

std::string EncodePng(const Image& image);
bool CaptureWindow(HWND window, Image* image);

}  // namespace devhost

#endif
