#pragma once

#include <QPolygon>
#include <array>
#include <cstdint>

// Segment masks of the digits 0..9 (bit 0 top, 1 middle, 2 bottom, 3 upper-left, 4 upper-right,
// 5 lower-left, 6 lower-right, 7 decimal point).
inline constexpr std::array<std::uint8_t, 10> SegmentTable{0x7D, 0x50, 0x37, 0x57, 0x5A,
                                                           0x4F, 0x6F, 0x51, 0x7F, 0x5F};

// The eight segment polygons of a digit of the given size, thickness and separation, in mask
// order. The point order matters: it is the outline the digit draws.
std::array<QPolygon, 8> DigitSegments(int width, int height, int thickness, int separation);
