// Linked into each shared object of the suite (libZynDecodeKit.so,
// libZynPlayCtrl.so): keeps the libraries it pulled into the process loaded
// after the shared object itself is unloaded.
//
// Some of them allocate in their load-time constructors and never free (seen:
// libgomp, which FFmpeg's resampler brings in, and pixman, which its SVG
// decoder brings in). Unloaded together with our library, that memory would be
// lost on every load/unload cycle of a host. Marked as never-unloaded, they
// are found again at the next load and their constructors do not run twice.
// Our own library still unloads completely.
#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

struct Walk {
    const char* self_path;
    bool after_self = false;
};

// Objects are listed in load order, so those after our own library are the
// ones that came into the process with it; libraries the host had loaded
// before are left alone.
int KeepLoaded(dl_phdr_info* info, size_t /*size*/, void* data) {
    auto* walk = static_cast<Walk*>(data);
    const char* name = info->dlpi_name;
    if (name == nullptr || name[0] == '\0') return 0;  // the program itself
    if (std::strcmp(name, walk->self_path) == 0) {
        walk->after_self = true;  // our own library must stay unloadable
        return 0;
    }
    if (!walk->after_self) return 0;
    if (void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(handle);
    return 0;
}

__attribute__((constructor)) void KeepDependenciesLoaded() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&KeepDependenciesLoaded), &self) == 0 ||
        self.dli_fname == nullptr) {
        return;
    }
    Walk walk{self.dli_fname};
    dl_iterate_phdr(&KeepLoaded, &walk);
}

}  // namespace
