#include "check/fix_command.hpp"

#include <cstring>

namespace {

// Characters that neither shell acts on, in a word that starts with none of
// '-' (not a concern here: the caller puts "--" before such a file name).
constexpr const char* SH_PLAIN =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@%+=:,./-";
// cmd.exe: no '%' (expansion), blanks, & | < > ^ ( ), quotes, or the
// wildcards a C runtime may expand outside quotes. Bytes of UTF-8
// characters pass as they are.
constexpr const char* CMD_PLAIN =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@+=:,./\\-~#$[]{}'`;!";

bool cmd_plain(char c) {
    return static_cast<unsigned char>(c) >= 0x80 || (c != '\0' && std::strchr(CMD_PLAIN, c));
}

// Closes a double-quoted stretch: the C runtime reads backslashes before a
// quote as escapes, so those at its end are doubled.
void close_quote(std::string& word, bool& quoted) {
    if (!quoted) return;
    std::size_t backslashes = 0;
    while (backslashes < word.size() && word[word.size() - 1 - backslashes] == '\\') ++backslashes;
    word.append(backslashes, '\\');
    word += '"';
    quoted = false;
}

}  // namespace

std::string sh_word(const char* argument) {
    if (*argument != '\0' && std::strspn(argument, SH_PLAIN) == std::strlen(argument)) return argument;
    std::string word = "'";
    for (const char* p = argument; *p; ++p) {
        if (*p == '\'') word += "'\\''";
        else word += *p;
    }
    return word + "'";
}

bool cmd_word(const char* argument, std::string* word) {
    std::string w;
    bool quoted = false;
    // A word that needs quotes has them from its start ("my rec 100%.ts").
    for (const char* p = argument; *p && !quoted; ++p) quoted = !cmd_plain(*p);
    if (quoted) w += '"';
    for (const char* p = argument; *p; ++p) {
        char c = *p;
        if (c == '"' || c == '\n' || c == '\r') return false;
        if (c == '%' && std::strchr(p + 1, '%')) {
            // '%' outside the quotes, then a quote opens: the name cmd.exe
            // would look up starts with '"', which no variable's does, and
            // both cmd.exe and the C runtime drop the quote.
            close_quote(w, quoted);
            w += "%\"";
            quoted = true;
            continue;
        }
        if (!cmd_plain(c) && !quoted) {
            w += '"';
            quoted = true;
        }
        w += c;
    }
    if (w.empty()) w = "\"\"";
    close_quote(w, quoted);
    *word = w;
    return true;
}

bool command_line(const std::vector<std::string>& arguments, CommandShell shell,
                  std::string* line) {
    std::string joined;
    for (const std::string& a : arguments) {
        std::string word;
        if (shell == CommandShell::SH) word = sh_word(a.c_str());
        else if (!cmd_word(a.c_str(), &word)) return false;
        if (!joined.empty()) joined += ' ';
        joined += word;
    }
    *line = joined;
    return true;
}
