// Loads a vendor library by name at run time, the way the programs load
// the makers' libraries: a library that is missing makes that maker
// contribute nothing.
//
// "I8_NetSDK" is looked for as libI8_NetSDK.so in, in order: each folder of
// the environment variable ZYNSEARCH_VENDOR_PATH (colon-separated), the
// program's folder, and ../lib beside the program's folder. A library stays
// loaded until the process ends; opening it again gives the same object.
#pragma once

#include <limits.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace vendors {

// The folder of the running program (settings, language files and vendor
// libraries sit beside it); "." when it cannot be told.
inline std::string ProgramDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    const std::string p(buf, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/'));
}

class VendorLibrary {
public:
    static std::shared_ptr<VendorLibrary> Open(const std::string& name);
    ~VendorLibrary();
    VendorLibrary(const VendorLibrary&) = delete;
    VendorLibrary& operator=(const VendorLibrary&) = delete;

    void* Symbol(const char* name) const;
    // Fills `fn` with the symbol; false when the library lacks it.
    template <typename F>
    bool Get(const char* name, F* fn) const {
        *fn = reinterpret_cast<F>(Symbol(name));
        return *fn != nullptr;
    }
    const std::string& path() const { return path_; }

private:
    VendorLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::string path_;
};

}  // namespace vendors
