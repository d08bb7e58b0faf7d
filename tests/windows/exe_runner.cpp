#include "windows/exe_runner.hpp"

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
