// Command lines of the zynvs commands: each command lists its options once,
// with their defaults and ranges; the parser checks every value against that
// list and writes the command's --help from it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zynvs_app {

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the job failed or ended degraded
constexpr int kExitUsage = 2;   // the command line is wrong

class OptionParser {
public:
    // command: "live", "get", ...; synopsis: the usage line after the command
    // name; about: one line on what the command does.
    OptionParser(std::string command, std::string synopsis, std::string about);

    // The default shown in --help is the target's value when it is declared.
    void Flag(const char* name, bool* out, const char* help);
    void Int(const char* name, int* out, long lo, long hi, const char* help);
    void IntList(const char* name, std::vector<int>* out, long lo, long hi, const char* help);
    void Text(const char* name, std::string* out, const char* value_name, const char* help);
    // One of `values`; anything else is a usage error.
    void Choice(const char* name, std::string* out, std::vector<std::string> values,
                const char* help);
    // Positional arguments in order; optional ones come last.
    void Positional(const char* name, std::string* out, const char* help, bool required = true);
    // Every positional argument left over, after the single ones (optional).
    void PositionalList(const char* name, std::vector<std::string>* out, const char* help);
    // Lines appended to --help (keys, modes, examples).
    void Note(std::string text);

    // -1: parsed, go on; kExitOk: --help was printed; kExitUsage: an error
    // naming the option and the reason was printed.
    int Parse(const std::vector<std::string>& args);
    bool Given(const char* name) const;
    // Prints "zynvs COMMAND: why (zynvs COMMAND --help)" and returns kExitUsage.
    int UsageError(const std::string& why) const;
    void PrintHelp() const;
    const std::string& command() const { return command_; }

private:
    struct Option {
        std::string name;
        std::string value_name;  // empty: a flag
        std::string help;
        std::string default_text;
        std::function<std::string(const std::string&)> set;  // error text, empty when fine
        bool positional = false;
        bool required = false;
        bool given = false;
        bool repeats = false;  // takes every remaining positional argument
    };
    Option* Find(const std::string& name);

    std::string command_, synopsis_, about_;
    std::vector<Option> options_;
    std::vector<std::string> notes_;
};

// Parses a whole decimal number in [lo, hi]; false on anything else.
bool ParseNumber(const std::string& text, long lo, long hi, long* out);

}  // namespace zynvs_app
