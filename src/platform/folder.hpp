// Folders, wildcard patterns, standard input and spool files: what the run
// of several files needs of the system beside the file operations
// (platform/file.hpp). Names cross this layer as UTF-8 on Windows, as the
// system's bytes on POSIX.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/file.hpp"

// One name in a folder, or one that a pattern matched.
struct FolderEntry {
    std::string name;  // the entry's own name, without the folder's
    bool folder = false;  // a folder (POSIX: a link to one counts)
};

// Who a folder is, whatever path leads there, for spotting a link that
// leads back up (device and inode; Windows: volume serial and file index).
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
};

// True when `path` names a folder (through links), with its identity.
bool platform_folder_id(const char* path, FolderId* id);

// The entries of the folder `path`, "." and ".." left out, in the order the
// system gives them, each with whether it is a folder (platform/dir.hpp
// lists the names alone, sorted, for a disc). False when it cannot be read
// (platform_last_error).
bool platform_folder_entries(const char* path, std::vector<FolderEntry>* entries);

// The separator a path built from a folder and a name takes.
char platform_path_separator();

// True where the tool expands wildcards itself: Windows, whose shells pass
// `*` and `?` on as typed. POSIX shells have expanded them already.
bool platform_expands_patterns();

// The names that the last component of `pattern` matches in its folder,
// as the system's own listing (`dir`) matches them, short 8.3 names
// included; "." and ".." left out. False when nothing matches or the folder
// cannot be read (platform_last_error). POSIX: always false.
bool platform_match_pattern(const char* pattern, std::vector<FolderEntry>* matches);

// Standard input, as a file of its own for reading: closing it leaves the
// process's standard input open. False when there is none.
bool platform_open_standard_input(FileHandle* file);

// A new temporary file, open for writing and reading back, removed when it
// is closed; null when none can be made (platform_stdio_error).
std::FILE* platform_spool_file();
