// The zynvs commands; each takes the arguments after its name.
#pragma once

#include <string>
#include <vector>

namespace zynvs_app {
int CommandDemo(const std::vector<std::string>& args);
int CommandLive(const std::vector<std::string>& args);
int CommandPlay(const std::vector<std::string>& args);
}  // namespace zynvs_app
