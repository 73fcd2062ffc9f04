#include "tests/support/run_tool.h"

#include <cstdio>

namespace zyn_test {
RunResult RunTool(const std::string& command) {
    RunResult r;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    r.status = pclose(p);
    return r;
}

std::string Which(const char* tool) {
    RunResult r = RunTool(std::string("command -v ") + tool);
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r'))
        r.output.pop_back();
    return r.status == 0 ? r.output : std::string();
}
}  // namespace zyn_test
