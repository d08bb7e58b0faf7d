#include "tool_runner.hpp"

#include <fcntl.h>
#include <iconv.h>
#include <locale.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "app/run_program.hpp"
#include "text/message.hpp"

extern char** environ;

namespace {

std::string slurp(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

std::string slurp_path(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

RunResult run_in_process(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    RunResult r;
    r.status = run_program(static_cast<int>(args.size()), argv.data(), out, err);
    r.out = slurp(out);
    r.err = slurp(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

std::string tool_binary() { return M2VHDR_BINARY; }

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

RunResult run_command(std::vector<std::string> command, const char* lc_all) {
    ScratchDir scratch;
    std::string out_path = scratch.path() + "/out";
    std::string err_path = scratch.path() + "/err";

    std::vector<char*> argv;
    for (std::string& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("LC_ALL=", 0) != 0) environment.push_back(*e);
    }
    if (lc_all) environment.push_back(std::string("LC_ALL=") + lc_all);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    pid_t pid = 0;
    RunResult r;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = slurp_path(out_path);
    r.err = slurp_path(err_path);
    return r;
}

namespace {

// The tool prints a message on every failure, and Wine's own messages start
// with "wine".
bool wine_did_not_run_it(const RunResult& r) {
    return r.status != 0 && r.out.empty() &&
           (r.err.empty() || r.err.compare(0, 4, "wine") == 0);
}

}  // namespace

namespace {

// The locale a child running the tool gets for `lc_all`. The tests check the
// tool's messages in Japanese, as it writes them in C and C.UTF-8, or in
// English under EnglishMessages. Wine takes a program's UI language from
// LC_ALL and reads C as English: another build runs in the Japanese UTF-8
// locale that tools/wine-session compiles instead, which gives it a Japanese
// UI and hands it UTF-8 names.
const char* tool_locale(const char* lc_all) {
    if (!lc_all || (std::strcmp(lc_all, "C") != 0 && std::strcmp(lc_all, "C.UTF-8") != 0))
        return lc_all;
    if (message_language == Language::ENGLISH) return "en_US.UTF-8";
    return external_tool() ? "ja_JP.UTF-8" : lc_all;
}

}  // namespace

std::string system_reason(int code, const char* locale) {
    locale_t named = newlocale(LC_ALL_MASK, locale, static_cast<locale_t>(nullptr));
    std::string text = named ? strerror_l(code, named) : std::strerror(code);
    if (named) freelocale(named);
    return text;
}

// An English locale is never the one of the tool's first texts.
EnglishMessages::EnglishMessages() {
    message_language = Language::ENGLISH;
    original_locale = false;
}
EnglishMessages::~EnglishMessages() {
    message_language = Language::JAPANESE;
    original_locale = true;
}

RunResult run_external(const std::vector<std::string>& command, const char* lc_all) {
    lc_all = tool_locale(lc_all);
    RunResult r;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        r = run_command(command, lc_all);
        if (!wine_did_not_run_it(r)) break;
        std::fprintf(stderr, "attempt %d: the loader did not run the tool (status %d, \"%s\")\n",
                     attempt, r.status, r.err.c_str());
    }
    return r;
}

namespace {

// CR LF line ends back to LF. A lone LF is marked, so that a line written
// without its CR fails the comparison.
std::string from_crlf(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += "<LF without CR>";
        out += text[i];
    }
    return out;
}

}  // namespace

bool external_tool() { return !external_tool_command().empty(); }

std::vector<std::string> external_tool_command() {
    return command_from("M2VHDR_TOOL_COMMAND");
}

std::string tool_name(const std::string& arg0) {
    if (!external_tool()) return arg0;
    const char* program = std::getenv("M2VHDR_TOOL_PROGRAM");
    return program ? program : external_tool_command().back();
}

std::string binary_name() { return external_tool() ? tool_name("") : tool_binary(); }

RunResult run_binary(const std::vector<std::string>& args, bool as_nobody, const char* lc_all) {
    if (external_tool()) {
        if (as_nobody) throw std::logic_error("as_nobody needs this build's binary");
        std::vector<std::string> command = external_tool_command();
        command.insert(command.end(), args.begin() + 1, args.end());
        RunResult r = run_external(command, lc_all);
        r.out = from_crlf(r.out);
        r.err = from_crlf(r.err);
        return r;
    }
    std::vector<std::string> command;
    std::unique_ptr<ScratchDir> copy_dir;
    std::string binary = tool_binary();
    if (as_nobody && geteuid() == 0) {
        // Root ignores permission bits: drop to nobody, with a copy of the
        // binary that nobody can surely reach.
        copy_dir = std::make_unique<ScratchDir>();
        std::string copy = copy_dir->path() + "/m2vhdr";
        std::filesystem::copy_file(binary, copy);
        binary = copy;
        command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    command.push_back(binary);
    command.insert(command.end(), args.begin() + 1, args.end());
    return run_command(command, tool_locale(lc_all));
}

RunResult run_tool(const std::vector<std::string>& args) {
    std::vector<std::string> command = external_tool_command();
    if (command.empty()) return run_in_process(args);
    command.insert(command.end(), args.begin() + 1, args.end());
    RunResult r = run_external(command);
    r.out = from_crlf(r.out);
    r.err = from_crlf(r.err);
    return r;
}

RunResult run_on(const Bytes& stream, const std::vector<std::string>& extra, Bytes* after) {
    ScratchDir dir;
    std::vector<std::string> args = {"m2vhdr", dir.write("stream.m2v", stream)};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult r = run_tool(args);
    if (after) *after = read_file(args[1]);
    return r;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "m2vhdr-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    // Readable by the unprivileged user that some tests run as.
    chmod(path_.c_str(), 0755);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::write(const std::string& name, const Bytes& bytes) const {
    std::string path = path_ + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

Bytes read_file(const std::string& path) {
    std::string text = slurp_path(path);
    return Bytes(text.begin(), text.end());
}

std::string sjis(const std::string& utf8) { return iconv_to("CP932", utf8); }

std::string iconv_to(const char* encoding, const std::string& utf8) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no ") + encoding + " in iconv");
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t src_left = in.size();
    std::size_t dst_left = out.size();
    std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - dst_left);
    return out;
}

std::string progress_line(unsigned long long done, unsigned long long total,
                          unsigned long long percent, const char* end) {
    if (message_language == Language::ENGLISH)
        return "Progress: " + std::to_string(done) + "/" + std::to_string(total) + " bytes (" +
               std::to_string(percent) + "%)" + end;
    return sjis("処理: " + std::to_string(done) + "/" + std::to_string(total) +
                "バイト (" + std::to_string(percent) + "%)") +
           end;
}

std::string closing_line(unsigned long long total) { return progress_line(total, total, 100, "\n"); }

std::string rewrite_summary(unsigned long long patched, unsigned long long right,
                            unsigned long long left) {
    std::string p = std::to_string(patched), r = std::to_string(right), l = std::to_string(left);
    if (message_language == Language::ENGLISH)
        return "Sequences: " + p + " patched, " + r + " already right, " + l +
               " could not be patched\n";
    return sjis("シーケンス: " + p + " 個を書き換え、" + r + " 個は変更不要、" + l +
                " 個は書き換えできませんでした\n");
}

OutsideOriginalLocale::OutsideOriginalLocale() { original_locale = false; }
OutsideOriginalLocale::~OutsideOriginalLocale() { original_locale = true; }
