#include "ZevPng.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
const size_t MaxStored = 65535; // the largest stored deflate block

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v >> 24));
    out.push_back(std::uint8_t(v >> 16));
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    Put32(out, std::uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, ZevPngCrc32(&out[start], out.size() - start));
}

std::uint32_t Adler32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

} // namespace

std::uint32_t ZevPngCrc32(const std::uint8_t* data, size_t size, std::uint32_t crc)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool ZevWritePngRGB(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb)
{
    if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3)
        return false;
    // Raw image: a filter byte (0, none) before every row.
    const size_t row = size_t(width) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((row + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + long(row * size_t(y)), rgb.begin() + long(row * size_t(y + 1)));
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size() || pos == 0; pos += MaxStored) {
        const size_t n = std::min(MaxStored, raw.size() - pos);
        const bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(std::uint8_t(n));
        z.push_back(std::uint8_t(n >> 8));
        z.push_back(std::uint8_t(~n));
        z.push_back(std::uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
        if (last)
            break;
    }
    Put32(z, Adler32(raw));

    std::vector<std::uint8_t> out(Signature, Signature + 8);
    std::vector<std::uint8_t> header;
    Put32(header, std::uint32_t(width));
    Put32(header, std::uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, filter set 0, no interlace
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", {});

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

bool ZevReadPngRGB(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<std::uint8_t> file;
    std::uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        file.insert(file.end(), buffer, buffer + n);
    std::fclose(f);
    if (file.size() < 8 || std::memcmp(file.data(), Signature, 8) != 0)
        return false;
    std::vector<std::uint8_t> z;
    std::uint32_t w = 0, h = 0;
    bool header = false;
    for (size_t pos = 8; pos + 12 <= file.size();) {
        const std::uint32_t len = Get32(&file[pos]);
        if (len > file.size() - pos - 12)
            return false;
        const std::uint8_t* type = &file[pos + 4];
        const std::uint8_t* data = &file[pos + 8];
        if (ZevPngCrc32(type, len + 4) != Get32(data + len))
            return false;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (len != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0)
                return false;
            w = Get32(data);
            h = Get32(data + 4);
            header = true;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            z.insert(z.end(), data, data + len);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        pos += 12 + len;
    }
    if (!header || w == 0 || h == 0 || w > 16384 || h > 16384 || z.size() < 2)
        return false;
    std::vector<std::uint8_t> raw;
    size_t pos = 2;
    for (;;) {
        if (pos + 5 > z.size() || (z[pos] & 6) != 0)
            return false; // only stored blocks
        const bool last = z[pos] & 1;
        const size_t len = size_t(z[pos + 1]) | (size_t(z[pos + 2]) << 8);
        pos += 5;
        if (len > z.size() - pos)
            return false;
        raw.insert(raw.end(), z.begin() + long(pos), z.begin() + long(pos + len));
        pos += len;
        if (last)
            break;
    }
    const size_t row = size_t(w) * 3;
    if (raw.size() != (row + 1) * h)
        return false;
    rgb->clear();
    for (size_t y = 0; y < h; ++y) {
        if (raw[y * (row + 1)] != 0)
            return false;
        rgb->insert(rgb->end(), raw.begin() + long(y * (row + 1) + 1), raw.begin() + long((y + 1) * (row + 1)));
    }
    *width = int(w);
    *height = int(h);
    return true;
}

bool ZevWritePng(const char* path, const std::uint32_t* pixels, std::int32_t width, std::int32_t height)
{
    if (!path || !pixels || width <= 0 || height <= 0)
        return false;
    const size_t count = size_t(width) * size_t(height);
    std::vector<std::uint8_t> rgb;
    rgb.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        rgb.push_back(std::uint8_t(pixels[i] >> 16));
        rgb.push_back(std::uint8_t(pixels[i] >> 8));
        rgb.push_back(std::uint8_t(pixels[i]));
    }
    return ZevWritePngRGB(path, width, height, rgb);
}
