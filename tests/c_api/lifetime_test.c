/* Loads and unloads the SDK repeatedly: its registry and housekeeping thread
 * start at load and must be gone at unload (no crash, no thread left behind
 * running unloaded code). Run under the leak checker in sanitizer builds. */
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "zynvs/ZynDecodeKit.h"

typedef int (*Fn0)(void);
typedef int (*FnLogin)(DeviceLoginInfo*);
typedef int (*FnName)(int, const char*);

static int thread_count(void) {
    int n = 0;
    DIR* d = opendir("/proc/self/task");
    struct dirent* e;
    if (!d) return -1;
    while ((e = readdir(d)) != NULL)
        if (e->d_name[0] != '.') n++;
    closedir(d);
    return n;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int before = -1;
    for (int round = 0; round < 20; ++round) {
        /* Counted after the first round: runtimes (sanitizers) may add a
         * thread of their own at the first load. */
        if (round == 1) before = thread_count();
        void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            fprintf(stderr, "dlopen: %s\n", dlerror());
            return 1;
        }
        Fn0 init = (Fn0)dlsym(lib, "ZYNVS_Init");
        FnLogin add = (FnLogin)dlsym(lib, "ZYNVS_AddDevice");
        FnName name = (FnName)dlsym(lib, "ZYNVS_SetDeviceName");
        Fn0 uninit = (Fn0)dlsym(lib, "ZYNVS_UnInit");
        if (!init || !add || !name || !uninit || init() != 1) return 1;
        DeviceLoginInfo info;
        memset(&info, 0, sizeof info);
        info.device_id = round;
        info.device_kind = 2;
        if (add(&info) != 1 || name(round, "party") != 1) return 1;
        if (round % 2) uninit(); /* every other round leaves teardown to unload */
        if (dlclose(lib) != 0) return 1;
        /* The SDK itself must really go (only its dependencies stay). */
        if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != NULL) {
            fprintf(stderr, "still loaded after dlclose\n");
            return 1;
        }
    }
    const int after = thread_count();
    if (after != before) {
        fprintf(stderr, "threads before %d, after %d\n", before, after);
        return 1;
    }
    printf("20 load/unload rounds, %d threads before and after\n", after);
    return 0;
}
