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

int KeepLoaded(dl_phdr_info* info, size_t /*size*/, void* self_path) {
    const char* name = info->dlpi_name;
    // The program itself has no name; our own library must stay unloadable.
    if (name == nullptr || name[0] == '\0') return 0;
    if (std::strcmp(name, static_cast<const char*>(self_path)) == 0) return 0;
    // Only objects already loaded are touched (the vDSO is not found by name).
    if (void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(handle);
    return 0;
}

__attribute__((constructor)) void KeepDependenciesLoaded() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&KeepDependenciesLoaded), &self) == 0 ||
        self.dli_fname == nullptr) {
        return;
    }
    dl_iterate_phdr(&KeepLoaded, const_cast<char*>(self.dli_fname));
}

}  // namespace
