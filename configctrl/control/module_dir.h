// The folder of the control's own library file (settings, language files
// and the tree icons sit beside it), found through dladdr; without a path
// of its own (linked into a program) the program's folder.
#pragma once

#include <string>

namespace configctrl {

std::string ModuleDir();

}  // namespace configctrl
