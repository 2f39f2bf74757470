#pragma once

#include <array>
#include <cstdlib>

namespace tarvane {

struct PictureSize {
    int width;
    int height;
    friend constexpr bool operator==(PictureSize, PictureSize) = default;
};

// The scales each picture is rendered at: 100 % is the bitmap, the others are
// made at build time. Sizes round half up, as the renderer rounds them.
inline constexpr std::array<int, 5> kPictureScales{100, 125, 150, 175, 200};
constexpr PictureSize renderedSize(PictureSize base, int percent) {
    return {(base.width * percent + 50) / 100, (base.height * percent + 50) / 100};
}

// The largest size of the picture's shape that the frame holds, rounded to
// the nearest pixel.
constexpr PictureSize fitInFrame(PictureSize picture, PictureSize frame) {
    if (picture.width <= 0 || picture.height <= 0 || frame.width <= 0 || frame.height <= 0) return {0, 0};
    const auto nearest = [](long long numerator, long long denominator) {
        return static_cast<int>((2 * numerator / denominator + 1) / 2);
    };
    const long long wide = static_cast<long long>(picture.width) * frame.height;
    const long long tall = static_cast<long long>(picture.height) * frame.width;
    if (wide >= tall) return {frame.width, nearest(tall, picture.width)};
    return {nearest(wide, picture.height), frame.height};
}

// How a picture is drawn in its frame: which render, at what size, where.
struct PicturePlacement {
    int percent;   // the render to take
    bool scaled;   // false: drawn at the render's own size
    int x, y;      // from the frame's top left
    PictureSize size;
};

// Pixels a render may be off its frame's fit and still be drawn as it is:
// the layout rounds dialog units, the renderer rounds pixels.
inline constexpr int kPictureFitSlack = 3;

// The smallest render at least as large as the frame's fit; drawn as it is
// when it fits within the slack (at its frame's top left, where the dialog
// put it), otherwise scaled to the fit and centred. Beyond 200 % the largest
// render is scaled up.
constexpr PicturePlacement placePicture(PictureSize base, PictureSize frame) {
    const PictureSize fit = fitInFrame(base, frame);
    int percent = kPictureScales.back();
    for (int candidate : kPictureScales) {
        const PictureSize size = renderedSize(base, candidate);
        if (size.width >= fit.width - kPictureFitSlack && size.height >= fit.height - kPictureFitSlack) {
            percent = candidate;
            break;
        }
    }
    const PictureSize render = renderedSize(base, percent);
    if (std::abs(render.width - fit.width) <= kPictureFitSlack &&
        std::abs(render.height - fit.height) <= kPictureFitSlack) {
        return {percent, false, 0, 0, render};
    }
    return {percent, true, (frame.width - fit.width) / 2, (frame.height - fit.height) / 2, fit};
}

} // namespace tarvane
