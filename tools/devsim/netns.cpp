#include <fstream>
#include <string>

#include "tools/devsim/devsim.h"

namespace devsim {

bool InPrivateNetworkNamespace() {
    std::ifstream in("/proc/self/net/dev");
    if (!in) return false;
    std::string line;
    int interfaces = 0;
    bool only_lo = true;
    while (std::getline(in, line)) {
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;  // the two title lines
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        ++interfaces;
        if (name != "lo") only_lo = false;
    }
    return interfaces > 0 && only_lo;
}

}  // namespace devsim
