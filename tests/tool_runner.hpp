// Runs the tool on files in a scratch folder and collects exactly what it
// printed on each stream.
#pragma once

#include <string>
#include <vector>

#include "stream_builder.hpp"

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// run_program in this process, with its two streams captured.
RunResult run_in_process(const std::vector<std::string>& args);

// The tool as the tests see it: run_program in this process, or, when the
// environment names another build in M2VHDR_TOOL_COMMAND (for example the
// Windows binary under Wine), that command in a child process. Output of
// such a build must end every line in CR LF, and is handed back with LF.
RunResult run_tool(const std::vector<std::string>& args);

// Writes `stream` to a scratch file, runs the tool on it with `extra`
// arguments after the path (none: the report), and hands back the file's
// bytes afterwards in `after` when asked.
RunResult run_on(const Bytes& stream, const std::vector<std::string>& extra = {},
                 Bytes* after = nullptr);

// The built m2vhdr binary in a child process (standard input closed), or
// the command of M2VHDR_TOOL_COMMAND as run_tool runs it. `as_nobody` drops
// to an unprivileged user first, so that permission bits hold even when the
// tests run as root; it needs the binary of this build. The tool runs in the
// locale `lc_all` (LC_ALL), whatever the tests' own environment says; C
// and C.UTF-8 stand for the test's language (see EnglishMessages, and
// tool_locale in tool_runner.cpp for another build).
RunResult run_binary(const std::vector<std::string>& args, bool as_nobody = false,
                     const char* lc_all = "C");

// Path of the m2vhdr binary of this build.
std::string tool_binary();

// True when M2VHDR_TOOL_COMMAND names another build. Cases that rest on this
// system's own facilities (advisory locks, unprivileged users, FIFOs) skip
// themselves then, saying why.
bool external_tool();

// The words of a command held in an environment variable, split at spaces;
// empty when it is not set.
std::vector<std::string> command_from(const char* variable);

// The words of M2VHDR_TOOL_COMMAND; empty when it is not set.
std::vector<std::string> external_tool_command();

// Argument 0 as the tool receives it from run_tool given `arg0`, and from
// run_binary. Another build is named as its loader passes it on, which the
// environment gives in M2VHDR_TOOL_PROGRAM (Wine: the .exe's DOS path).
std::string tool_name(const std::string& arg0);
std::string binary_name();

// Any command in a child process (standard input closed, LC_ALL set to
// `lc_all`, or left out when null), with its output exactly as it was
// written.
RunResult run_command(std::vector<std::string> command, const char* lc_all = "C");

// The tool through another build's loader (M2VHDR_TOOL_COMMAND). Wine now
// and then fails to start a program, or loses its server under it, before
// the program has done anything: the run then ends in failure with no output
// but Wine's own message. Such a run is started again, up to three times.
RunResult run_external(const std::vector<std::string>& command, const char* lc_all = "C");

// A scratch folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    // Writes `bytes` into a new file of the folder and returns its path.
    std::string write(const std::string& name, const Bytes& bytes) const;

private:
    std::string path_;
};

Bytes read_file(const std::string& path);

// A message as the tool prints it: the UTF-8 text converted to Shift_JIS
// (code page 932) with the C library's iconv.
std::string sjis(const std::string& utf8);

// The UTF-8 text converted to `encoding` ("CP932", "EUC-JP", "UTF-8") with
// the C library's iconv.
std::string iconv_to(const char* encoding, const std::string& utf8);

// The system's text for errno `code` in the locale named `locale` (its
// messages and its codeset), or in the C locale where that one is not
// installed: what the tool gives as the reason a file failed.
std::string system_reason(int code, const char* locale);

// While it lives, the tool writes its messages in English: run_program in
// this process, and a child (run_binary, run_external) started in C or
// C.UTF-8 is given en_US.UTF-8 instead. Tests of English text use it.
struct EnglishMessages {
    EnglishMessages();
    ~EnglishMessages();
    EnglishMessages(const EnglishMessages&) = delete;
    EnglishMessages& operator=(const EnglishMessages&) = delete;
};

// The progress line as the tool prints it, in the language of the test
// (Japanese in Shift_JIS, or English under EnglishMessages).
std::string progress_line(unsigned long long done, unsigned long long total,
                          unsigned long long percent, const char* end);

// The closing line of every run but the original command lines in the C
// locale: the whole file done, 100 %.
std::string closing_line(unsigned long long total);

// The line that ends such a rewrite: sequences patched, already right and
// not patched, in the language of the test.
std::string rewrite_summary(unsigned long long patched, unsigned long long right,
                            unsigned long long left);

// While it lives, run_program in this process behaves as in a locale other
// than the one of the tool's first texts (any but C or POSIX), where the
// original command lines print the newer progress lines too.
struct OutsideOriginalLocale {
    OutsideOriginalLocale();
    ~OutsideOriginalLocale();
    OutsideOriginalLocale(const OutsideOriginalLocale&) = delete;
    OutsideOriginalLocale& operator=(const OutsideOriginalLocale&) = delete;
};
