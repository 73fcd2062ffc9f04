/* Loads and unloads the player repeatedly, with a stream port opened and
 * closed each time: nothing may stay behind (no thread, no leak under the
 * leak checker) and the library itself must really go. */
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>

typedef int (*FnOpen)(unsigned long, int, int, int);
typedef int (*FnClose)(int);

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
        if (round == 1) before = thread_count(); /* runtimes may add one at first load */
        void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            fprintf(stderr, "dlopen: %s\n", dlerror());
            return 1;
        }
        FnOpen open = (FnOpen)dlsym(lib, "ZYNVS_PlAY_OpenStream");
        FnClose close = (FnClose)dlsym(lib, "ZYNVS_PlAY_CloseStream");
        if (!open || !close) return 1;
        const int port = open(0, 0, 0, 0);
        if (port < 1 || close(port) != 1) return 1;
        if (dlclose(lib) != 0) return 1;
        if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != NULL) {
            fprintf(stderr, "still loaded after dlclose\n");
            return 1;
        }
    }
    if (thread_count() != before) {
        fprintf(stderr, "threads before %d, after %d\n", before, thread_count());
        return 1;
    }
    puts("20 load/unload rounds");
    return 0;
}
