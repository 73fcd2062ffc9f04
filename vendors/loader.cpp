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
    std::string program_dir = ProgramDir();
    dirs.push_back(program_dir);
    dirs.push_back(program_dir + "/../lib");
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
