// A small PNG writer for screenshots (8-bit RGB, no compression: stored deflate blocks), and the matching reader
// for what it writes, so tests can look at a frame without an image library.
#ifndef QE_PNG_FILE_H
#define QE_PNG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

// rgb: height rows of width pixels, top row first, 3 bytes a pixel. false when the file cannot be written.
bool WritePngRGB(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);
// Reads an 8-bit RGB PNG with stored deflate blocks and filter 0 (as WritePngRGB makes them); false otherwise.
bool ReadPngRGB(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb);

std::uint32_t PngCrc32(const std::uint8_t* data, size_t size, std::uint32_t crc = 0);

#endif
