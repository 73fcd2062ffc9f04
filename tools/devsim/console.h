// The emulator's command language, shared by the program's standard input
// and its control socket: one command per line, one answer (one or more
// lines) per command. `help` lists the commands.
#pragma once

#include <string>

#include <vector>

#include "tools/devsim/devsim.h"
#include "tools/devsim/party.h"

namespace devsim {

// Runs one command line against `emulator` and gives the answer text (ending
// in a newline). Sets *quit for "quit". Never throws.
std::string RunConsoleCommand(Emulator& emulator, const std::string& line, bool* quit);
// The same with platform parties; `emulator` may be null when only parties run.
std::string RunConsoleCommand(Emulator* emulator, const std::vector<Party*>& parties,
                              const std::string& line, bool* quit);

std::string ConsoleHelp();

}  // namespace devsim
