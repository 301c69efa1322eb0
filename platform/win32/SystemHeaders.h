// The one way into <windows.h> here. It defines as macros several names that
// the window interface declares itself, with the same values (WS_POPUP, IDOK,
// ICON_BIG, BN_CLICKED, ...): the interface is read first, so its
// declarations stand and the macros then spell the same numbers. LoadIcon is
// windows.h's macro for LoadIconW, and the window system's method of that name
// must keep it. The common controls and the multimedia timer's period come
// with it.
#pragma once

#include "platform/DialogTemplate.h"
#include "platform/Window.h"

#include <windows.h>

#include <commctrl.h>
#include <mmsystem.h>

#undef LoadIcon
