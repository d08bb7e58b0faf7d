// The command that fixes a broken rule in place: its arguments, and those
// arguments as one line for the shell the user runs it in.
#pragma once

#include <string>
#include <vector>

#include "platform/file.hpp"

// `argument` as one word of an sh command line: as it is when it needs no
// quoting, in single quotes otherwise.
std::string sh_word(const char* argument);

// `argument` as one word of a cmd.exe command line (cmd /c, or typed), as
// the program's C runtime splits it back into its arguments. Words with
// blanks or characters that cmd.exe acts on go in double quotes. A '%' that
// has another '%' after it in the word could name a variable that cmd.exe
// expands, quotes or not: it stands outside the quotes, and a quote opens
// right after it. False when the word cannot be written so that it reaches
// the program whole: a double quote or a line break in it.
bool cmd_word(const char* argument, std::string* word);

// The arguments joined into one line for `shell`; false when one of them
// cannot be written for it.
bool command_line(const std::vector<std::string>& arguments, CommandShell shell,
                  std::string* line);
