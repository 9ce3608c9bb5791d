#pragma once

#include <QRect>

// Geometry is designed in twips, 1440 to the inch. At the 96 logical pixels per
// inch that Qt lays widgets out in, 15 twips make one pixel; printing at true size
// relies on that.
namespace Twips {

constexpr int PerPixel = 15;
constexpr int PerInch = 1440;
constexpr int PixelsPerInch = PerInch / PerPixel;

constexpr int toPixels(int twips)
{
    return (twips + PerPixel / 2) / PerPixel;
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
