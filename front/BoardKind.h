#pragma once

namespace tarvane {

enum class BoardKind { None = 0, Interface = 1, Display = 2 };

} // namespace tarvane
