// Runs one command line through cmd.exe exactly as it is given:
//
//   cmd_line DIR FILE
//
// The first line of FILE (UTF-8) runs as
// "cmd.exe /d /c LINE", started with CreateProcessW, so that no loader or C
// runtime quotes it on the way; DIR goes first on PATH, for the programs it
// names. Exits with cmd.exe's status, or 125 when it cannot start it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 125;
    std::FILE* file = std::fopen(argv[2], "rb");
    if (!file) return 125;
    std::string line;
    for (int c; (c = std::getc(file)) != EOF && c != '\r' && c != '\n';) line += static_cast<char>(c);
    std::fclose(file);

    wchar_t path[32768];
    DWORD length = GetEnvironmentVariableW(L"PATH", path, 32768);
    std::wstring new_path = wide(argv[1]) + L";" + std::wstring(path, length < 32768 ? length : 0);
    SetEnvironmentVariableW(L"PATH", new_path.c_str());

    std::wstring command = L"cmd.exe /d /c " + wide(line);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return 125;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return static_cast<int>(status);
}
