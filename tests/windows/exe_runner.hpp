// m2vhdr.exe under Wine, as the Windows suite of the Linux build runs it.
//
// The environment names the .exe in M2VHDR_TOOL_COMMAND (run_tool starts
// it) and the holder program hold_file.exe in M2VHDR_HOLD_COMMAND; see
// under_wine.cmake.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.hpp"

// The .exe, with its output exactly as it reached the files.
RunResult run_exe_raw(const std::vector<std::string>& args);

// The Linux build's binary.
RunResult run_linux(const std::vector<std::string>& args);

// A fixture that skips its cases, saying why, when no Windows build is named.
template <class Base>
class NeedsWindowsBuild : public Base {
protected:
    void SetUp() override {
        if (!external_tool()) GTEST_SKIP() << "M2VHDR_TOOL_COMMAND names no Windows build";
    }
};
