#include "vendors/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace vendors {

std::shared_ptr<VendorLibrary> VendorLibrary::Open(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return nullptr;
    // A library stays loaded once opened: its threads and state may outlive
    // any one user, and every user sees the same library.
    static std::mutex mu;
    static std::map<std::string, std::shared_ptr<VendorLibrary>> opened;
    std::lock_guard<std::mutex> lock(mu);
    if (auto it = opened.find(name); it != opened.end()) return it->second;
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("ZYNSEARCH_VENDOR_PATH")) {
        std::istringstream in(env);
        for (std::string dir; std::getline(in, dir, ':');)
            if (!dir.empty()) dirs.push_back(dir);
    }
    // Beside the program and in its ../lib (the build tree), then where an
    // installed suite keeps them: a maker's own library in the library folder
    // wins over the emulated one in its zynvs-emulated subfolder.
    const std::string program_dir = ProgramDir();
    dirs.push_back(program_dir);
    dirs.push_back(program_dir + "/../lib");
    dirs.push_back(program_dir + "/../" ZYNVS_INSTALL_LIBDIR);
    dirs.push_back(program_dir + "/../" ZYNVS_INSTALL_LIBDIR "/zynvs-emulated");
    // A host program elsewhere that loads one of our shared libraries: look
    // beside that library.
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&VendorLibrary::Open), &self) != 0 && self.dli_fname) {
        const std::string lib_path(self.dli_fname);
        const size_t slash = lib_path.rfind('/');
        if (slash != std::string::npos) {
            const std::string module_dir = lib_path.substr(0, slash);
            dirs.push_back(module_dir);
            dirs.push_back(module_dir + "/zynvs-emulated");
        }
    }
    for (const std::string& dir : dirs) {
        std::string path = dir + "/lib" + name + ".so";
        if (access(path.c_str(), R_OK) != 0) continue;
        if (void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            std::shared_ptr<VendorLibrary> lib(new VendorLibrary(h, path));
            opened[name] = lib;
            return lib;
        }
    }
    return nullptr;
}

VendorLibrary::~VendorLibrary() = default;  // never unloaded (see Open)

void* VendorLibrary::Symbol(const char* name) const {
    return name ? dlsym(handle_, name) : nullptr;
}

}  // namespace vendors
