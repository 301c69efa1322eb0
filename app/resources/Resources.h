// The program's dialog templates, looked up by number as the framework does.
// The icons are kept by the window system's own resource mechanism under
// ":/icon/<number>".
#pragma once

#include "platform/DialogTemplate.h"

namespace vardel {

// Null when the program has no template of that number.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace vardel
