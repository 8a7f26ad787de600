// PNG writing and window capture. The deflate stream is a single block with the fixed
// Huffman codes and greedy LZ77 matching: with the row filters, flat areas shrink to a
// few bits per row, which is all a screenshot of dialogs and text needs.
#include "devhost/picture.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace devhost {
namespace {

uint32_t Crc32(const std::string& bytes, size_t from) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < bytes.size(); ++i)
        crc = table[(crc ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::vector<uint8_t>& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

void PutBigEndian(std::string* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutChunk(std::string* out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t start = out->size();
    out->append(type, 4);
    out->append(data);
    PutBigEndian(out, Crc32(*out, start));
}

class BitWriter {
public:
    // Extra bits and header fields go least significant bit first.
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    // Huffman codes go most significant bit first.
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    }
    std::vector<uint8_t> Finish() {
        if (used_ != 0) bytes_.push_back(current_);
        return std::move(bytes_);
    }

private:
    void Bit(uint32_t bit) {
        current_ = static_cast<uint8_t>(current_ | (bit << used_));
        if (++used_ == 8) {
            bytes_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    std::vector<uint8_t> bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

void PutLiteralOrLength(BitWriter* bits, int symbol) {
    if (symbol < 144) {
        bits->Code(static_cast<uint32_t>(0x30 + symbol), 8);
    } else if (symbol < 256) {
        bits->Code(static_cast<uint32_t>(0x190 + symbol - 144), 9);
    } else if (symbol < 280) {
        bits->Code(static_cast<uint32_t>(symbol - 256), 7);
    } else {
        bits->Code(static_cast<uint32_t>(0xC0 + symbol - 280), 8);
    }
}

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(BitWriter* bits, int length, int distance) {
    int l = 28;
    while (kLengthBase[l] > length) --l;
    PutLiteralOrLength(bits, 257 + l);
    bits->Bits(static_cast<uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    int d = 29;
    while (kDistanceBase[d] > distance) --d;
    bits->Code(static_cast<uint32_t>(d), 5);
    bits->Bits(static_cast<uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
    constexpr int kWindow = 32768, kMaxChain = 48, kHashBits = 15;
    std::vector<int> head(1 << kHashBits, -1), previous(data.size(), -1);
    auto hash = [&](size_t i) {
        uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        return static_cast<size_t>((v * 2654435761u) >> (32 - kHashBits));
    };
    auto insert = [&](size_t i) {
        if (i + 2 >= data.size()) return;
        size_t h = hash(i);
        previous[i] = head[h];
        head[h] = static_cast<int>(i);
    };

    BitWriter bits;
    bits.Bits(1, 1);  // final block
    bits.Bits(1, 2);  // fixed Huffman codes
    size_t i = 0;
    while (i < data.size()) {
        int bestLength = 0, bestDistance = 0;
        if (i + 2 < data.size()) {
            int candidate = head[hash(i)];
            const size_t limit = std::min<size_t>(258, data.size() - i);
            for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
                const int distance = static_cast<int>(i) - candidate;
                if (distance > kWindow) break;
                size_t length = 0;
                while (length < limit && data[static_cast<size_t>(candidate) + length] == data[i + length])
                    ++length;
                if (static_cast<int>(length) > bestLength) {
                    bestLength = static_cast<int>(length);
                    bestDistance = distance;
                    if (length == limit) break;
                }
                candidate = previous[static_cast<size_t>(candidate)];
            }
        }
        if (bestLength >= 3) {
            PutMatch(&bits, bestLength, bestDistance);
            for (int k = 0; k < bestLength; ++k) insert(i++);
        } else {
            PutLiteralOrLength(&bits, data[i]);
            insert(i++);
        }
    }
    PutLiteralOrLength(&bits, 256);  // end of block
    return bits.Finish();
}

uint8_t Paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Each row gets the filter whose output has the smallest sum of magnitudes, the usual
// heuristic; the filter type byte leads the row.
std::vector<uint8_t> FilteredRows(const Image& image) {
    const size_t stride = static_cast<size_t>(image.width) * 3;
    std::vector<uint8_t> raw(stride * static_cast<size_t>(image.height));
    for (size_t p = 0; p < image.pixels.size(); ++p) {
        raw[p * 3] = static_cast<uint8_t>(image.pixels[p] >> 16);
        raw[p * 3 + 1] = static_cast<uint8_t>(image.pixels[p] >> 8);
        raw[p * 3 + 2] = static_cast<uint8_t>(image.pixels[p]);
    }
    std::vector<uint8_t> out;
    out.reserve(raw.size() + static_cast<size_t>(image.height));
    std::vector<uint8_t> zero(stride, 0), candidate(stride), best(stride);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = &raw[static_cast<size_t>(y) * stride];
        const uint8_t* up = y > 0 ? row - stride : zero.data();
        long bestScore = -1;
        uint8_t bestType = 0;
        for (uint8_t type = 0; type <= 4; ++type) {
            long score = 0;
            for (size_t x = 0; x < stride; ++x) {
                int a = x >= 3 ? row[x - 3] : 0, b = up[x], c = x >= 3 ? up[x - 3] : 0;
                int predicted = type == 0   ? 0
                                : type == 1 ? a
                                : type == 2 ? b
                                : type == 3 ? (a + b) / 2
                                            : Paeth(a, b, c);
                candidate[x] = static_cast<uint8_t>(row[x] - predicted);
                score += static_cast<int8_t>(candidate[x]) < 0 ? -static_cast<int8_t>(candidate[x])
                                                               : static_cast<int8_t>(candidate[x]);
            }
            if (bestScore < 0 || score < bestScore) {
                bestScore = score;
                bestType = type;
                best.swap(candidate);
            }
        }
        out.push_back(bestType);
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

}  // namespace

std::string EncodePng(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return {};
    const std::vector<uint8_t> rows = FilteredRows(image);
    std::string zlib = "\x78\x01";
    const std::vector<uint8_t> deflated = Deflate(rows);
    zlib.append(deflated.begin(), deflated.end());
    PutBigEndian(&zlib, Adler32(rows));

    std::string header;
    PutBigEndian(&header, static_cast<uint32_t>(image.width));
    PutBigEndian(&header, static_cast<uint32_t>(image.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, adaptive, no interlace

    std::string png = "\x89PNG\r\n\x1A\n";
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", zlib);
    PutChunk(&png, "IEND", "");
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

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

}  // namespace devhost
