#pragma once

#include "front/BoardKind.h"

#include <string_view>

namespace tarvane {

// What the window says and shows once a board is chosen.
struct BoardTexts {
    std::string_view selectedLine;
    std::string_view step3;
    std::string_view step4;
    std::string_view step5;
    int boardBitmap;
    std::string_view filter;
    // How a support report names the board.
    std::string_view name;
};

// The log's line once a HEX file is chosen.
inline constexpr std::string_view kFileSelectedLine = "HEX file selected";

// Texts for the Interface or the Display board (None has none).
const BoardTexts* boardTexts(BoardKind board);

} // namespace tarvane
