#pragma once

namespace tarvane {

struct IconOrigin {
    int x;
    int y;
};

// Where a minimised window draws its icon: centred in the client area, the
// odd pixel going right and down, in signed arithmetic so that an icon larger
// than the area still lands symmetrically.
constexpr IconOrigin centredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

} // namespace tarvane
