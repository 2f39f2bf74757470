#pragma once

// The text conversions moved to the shared Windows library; app/win32's
// device setup still includes them by this name until it goes.
#include "win32/WideText.h"
