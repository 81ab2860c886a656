// A small PNG writer for screenshots (8-bit RGB, no compression: stored deflate blocks), and the matching reader
// for what it writes, so that tests can look at a frame without an image library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// rgb: height rows of width pixels, top row first, 3 bytes a pixel. false when the file cannot be written.
bool ZevWritePngRGB(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);
// The same from 0x00RRGGBB pixels, rows top-down.
bool ZevWritePng(const char* path, const std::uint32_t* pixels, std::int32_t width, std::int32_t height);
// Reads an 8-bit RGB PNG with stored deflate blocks and filter 0 (as the writers make them); false otherwise.
bool ZevReadPngRGB(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb);

std::uint32_t ZevPngCrc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
