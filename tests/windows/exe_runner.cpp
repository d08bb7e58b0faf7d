#include "windows/exe_runner.hpp"

#include <cstdlib>

RunResult run_exe_raw(const std::vector<std::string>& args) {
    std::vector<std::string> command = external_tool_command();
    command.insert(command.end(), args.begin() + 1, args.end());
    return run_external(command);
}

RunResult run_linux(const std::vector<std::string>& args) {
    std::vector<std::string> command = {tool_binary()};
    command.insert(command.end(), args.begin() + 1, args.end());
    return run_command(command);
}

std::vector<std::string> command_from(const char* variable) {
    std::vector<std::string> words;
    std::string word;
    for (const char* c = std::getenv(variable); c && *c; ++c) {
        if (*c != ' ') {
            word += *c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}
