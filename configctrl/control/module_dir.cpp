#include "configctrl/control/module_dir.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace configctrl {

std::string ModuleDir() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleDir), &info) == 0 || info.dli_fname == nullptr)
        return ".";
    char resolved[PATH_MAX];
    // A program's own symbols report the name it was started by; resolve it.
    const char* path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    const std::string p(path);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace configctrl
