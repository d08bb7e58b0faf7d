// The files of a run, from its FILE arguments: files as named, folders read
// through, wildcard patterns expanded where the shell leaves them (Windows),
// '-' for standard input.
#pragma once

#include <string>
#include <vector>

// Why an argument gave no file to read.
enum class InputProblem {
    NONE,
    NO_MATCH,            // a pattern that matches nothing
    FOLDER_UNREADABLE,   // a folder that cannot be listed (`error` says why)
    NO_VIDEO_IN_FOLDER,  // a folder without one file of a video extension
};

struct BatchInput {
    std::string path;  // as named, or the folder's path and the names under it
    InputProblem problem = InputProblem::NONE;
    int error = 0;  // FOLDER_UNREADABLE: the system's code
};

struct BatchInputs {
    std::vector<BatchInput> list;  // in argument order, each folder in name order
    // More than one argument, or a folder or a pattern: each file's output
    // is named, and --json writes JSON Lines.
    bool several = false;
};

// Expands the FILE arguments. A folder is read through, subfolders
// included; each folder's entries in the byte order of their names, and of
// its files those with a video extension (.m2v .mpv .m1v .mpg .mpeg .vob .ts
// .m2t .mts .m2ts .tp .trp, any case). A link back to a folder that the walk
// is inside is not followed again.
// Without `expand`, every argument is one file as named.
BatchInputs expand_inputs(const std::vector<const char*>& arguments, bool expand = true);

// True for the name of standard input: "-".
bool is_standard_input(const std::string& path);

// True for a name with a video extension, as above.
bool has_video_extension(const std::string& name);
