// For any picture and frame size: the fit keeps the picture's shape and fills
// the frame along one side, and the placement takes the smallest render that
// is large enough, drawn as it is only within the slack and otherwise scaled
// to the fit and centred, never outside its frame.
#include "app/win32/PictureFit.h"
#include "fuzz/FuzzInput.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using tarvane::PicturePlacement;
using tarvane::PictureSize;
using tarvane::fuzz::FuzzInput;
using tarvane::fuzz::require;

namespace {

// Mostly small lengths, where rounding matters, sometimes any 16-bit one.
int length(FuzzInput& in) {
    const std::uint8_t mode = in.byte();
    const int value = mode & 1 ? in.u16() : in.byte();
    return std::max(1, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const PictureSize base{length(in), length(in)};
    const PictureSize frame{length(in), length(in)};
    const long long bw = base.width, bh = base.height;

    const PictureSize fit = tarvane::fitInFrame(base, frame);
    require(fit.width <= frame.width && fit.height <= frame.height, "the fit leaves its frame");
    require(fit.width == frame.width || fit.height == frame.height, "the fit fills neither side");
    // The side that is not the frame's is the nearest pixel to the shape.
    const long long crossed = fit.width * bh - fit.height * bw;
    require((fit.width == frame.width && 2 * std::abs(crossed) <= bw) ||
                (fit.height == frame.height && 2 * std::abs(crossed) <= bh),
            "the fit is off the picture's shape");

    const PicturePlacement place = tarvane::placePicture(base, frame);
    require(std::find(tarvane::kPictureScales.begin(), tarvane::kPictureScales.end(), place.percent) !=
                tarvane::kPictureScales.end(),
            "no such render");
    const auto largeEnough = [&](int percent) {
        const PictureSize r = tarvane::renderedSize(base, percent);
        return r.width >= fit.width - tarvane::kPictureFitSlack && r.height >= fit.height - tarvane::kPictureFitSlack;
    };
    for (int percent : tarvane::kPictureScales) {
        if (percent >= place.percent) break;
        require(!largeEnough(percent), "a smaller render was large enough");
    }
    if (place.scaled) {
        require(place.size == fit, "a scaled picture is not the fit");
        require(place.x == (frame.width - fit.width) / 2 && place.y == (frame.height - fit.height) / 2,
                "a scaled picture is not centred");
    } else {
        require(place.size == tarvane::renderedSize(base, place.percent), "a render drawn as it is was resized");
        require(std::abs(place.size.width - fit.width) <= tarvane::kPictureFitSlack &&
                    std::abs(place.size.height - fit.height) <= tarvane::kPictureFitSlack,
                "a render drawn as it is is off its fit");
        require(place.x == 0 && place.y == 0, "a render drawn as it is moved");
    }
    require(place.x >= 0 && place.y >= 0 &&
                place.x + place.size.width <= frame.width + tarvane::kPictureFitSlack &&
                place.y + place.size.height <= frame.height + tarvane::kPictureFitSlack,
            "the picture leaves its frame");
    return 0;
}
