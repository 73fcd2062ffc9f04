// The zynvs commands; each takes the arguments after its name.
#pragma once

#include <string>
#include <vector>

namespace zynvs_app {
int CommandDemo(const std::vector<std::string>& args);
int CommandLive(const std::vector<std::string>& args);
int CommandGet(const std::vector<std::string>& args);
int CommandSet(const std::vector<std::string>& args);
int CommandPtz(const std::vector<std::string>& args);
int CommandReboot(const std::vector<std::string>& args);
int CommandUpgrade(const std::vector<std::string>& args);
int CommandRecords(const std::vector<std::string>& args);
int CommandTalk(const std::vector<std::string>& args);
int CommandSearch(const std::vector<std::string>& args);
int CommandConvert(const std::vector<std::string>& args);
int CommandPlay(const std::vector<std::string>& args);
int CommandRepair(const std::vector<std::string>& args);
int CommandPlatform(const std::vector<std::string>& args);
}  // namespace zynvs_app
