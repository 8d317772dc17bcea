// The drawing half of the framework in one include: colours, pens, brushes,
// fonts, canvases, bitmaps, icons, PNG images, metafiles and pictures.
// See each unit's header for its rules.
#pragma once

#include "Bitmap.h"
#include "Canvas.h"
#include "Colors.h"
#include "Font.h"
#include "GraphicsBase.h"
#include "GraphicsTools.h"
#include "Picture.h"
#include "Png.h"
