#pragma once

#include "app/win32/PictureFit.h"
#include "win32/Win32Handles.h"

#include <windows.h>

namespace tarvane {

// The 100 % size of the bitmap resource `bitmapId`, read from its header;
// {0, 0} when there is none.
PictureSize pictureBaseSize(HINSTANCE instance, int bitmapId);

// The picture `bitmapId` at `percent` (one of kPictureScales) as a bitmap of
// `size`: the bitmap resource at 100 %, the build's PNG render above, each
// scaled with a smoothing filter when `size` is not its own. Empty when the
// resource is missing or cannot be decoded.
UniqueBitmap loadPicture(HINSTANCE instance, int bitmapId, int percent, PictureSize size);

} // namespace tarvane
