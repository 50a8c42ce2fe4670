#pragma once
// The screen font built into the program, used when the font file cannot be
// read: 16 × 8 cells of 16 × 16 pixels, one 8-bit channel, the characters 32
// to 159, with an advance in pixels for each.

#include <cstdint>

namespace embeddedfont {

constexpr int kWidth = 256;
constexpr int kHeight = 128;
constexpr int kColumns = 16;
constexpr int kRows = 8;
constexpr int kGlyphs = kColumns * kRows;

extern const uint8_t kAdvances[kGlyphs];
extern const uint8_t kPixels[kWidth * kHeight];

}  // namespace embeddedfont
