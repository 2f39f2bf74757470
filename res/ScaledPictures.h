// The resource ids of the pictures rendered at display scales above 100 %:
// RCDATA PNGs, one per bitmap and scale, made at build time by
// scripts/assets/render-res.py --scales. Read by the resource compiler and C++.
#pragma once

// percent is 125, 150, 175 or 200; bitmapId an IDB_ id of resource.h.
#define TARVANE_SCALED_PICTURE(bitmapId, percent) (20000 + (bitmapId) * 10 + ((percent) - 100) / 25)
