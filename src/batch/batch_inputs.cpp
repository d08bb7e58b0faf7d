#include "batch/batch_inputs.hpp"

#include <algorithm>
#include <cstring>

#include "platform/folder.hpp"

namespace {

// The extensions a folder's files are read by, lower case.
constexpr const char* video_extensions[] = {"m2v", "mpv", "m1v", "mpg",  "mpeg", "vob",
                                            "ts",  "m2t", "mts", "m2ts", "tp",   "trp"};

bool by_name(const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; }

std::string joined(const std::string& folder, const std::string& name) {
    char separator = platform_path_separator();
    bool ends = !folder.empty() && (folder.back() == '/' || folder.back() == separator);
    return ends ? folder + name : folder + separator + name;
}

// Adds the video files under `folder`; `inside` holds the folders the walk
// is in, to leave a link back to one of them.
void walk_folder(const std::string& folder, std::vector<FolderId>& inside, BatchInputs& inputs) {
    std::vector<FolderEntry> entries;
    if (!platform_folder_entries(folder.c_str(), &entries)) {
        inputs.list.push_back({folder, InputProblem::FOLDER_UNREADABLE, platform_last_error()});
        return;
    }
    std::sort(entries.begin(), entries.end(), by_name);
    for (const FolderEntry& e : entries) {
        std::string path = joined(folder, e.name);
        FolderId id;
        if (!e.folder) {
            if (has_video_extension(e.name)) inputs.list.push_back({path});
            continue;
        }
        if (!platform_folder_id(path.c_str(), &id)) continue;  // gone meanwhile
        bool loop = std::any_of(inside.begin(), inside.end(), [&](const FolderId& f) {
            return f.device == id.device && f.node == id.node && (f.device | f.node) != 0;
        });
        if (loop) continue;
        inside.push_back(id);
        walk_folder(path, inside, inputs);
        inside.pop_back();
    }
}

// A folder argument, as a whole: no video file in it at all is a problem.
void add_folder(const std::string& folder, const FolderId& id, BatchInputs& inputs) {
    std::size_t before = inputs.list.size();
    std::vector<FolderId> inside{id};
    walk_folder(folder, inside, inputs);
    if (inputs.list.size() == before)
        inputs.list.push_back({folder, InputProblem::NO_VIDEO_IN_FOLDER, 0});
}

bool is_pattern(const char* argument) {
    return platform_expands_patterns() && std::strpbrk(argument, "*?") != nullptr;
}

// The names a pattern matches, its folder part kept as typed.
void add_pattern(const char* pattern, BatchInputs& inputs) {
    std::vector<FolderEntry> matches;
    if (!platform_match_pattern(pattern, &matches)) {
        inputs.list.push_back({pattern, InputProblem::NO_MATCH, 0});
        return;
    }
    std::sort(matches.begin(), matches.end(), by_name);
    const char* name = pattern;
    for (const char* s = pattern; *s; ++s)
        if (*s == '/' || *s == '\\' || *s == ':') name = s + 1;
    std::string folder(pattern, static_cast<std::size_t>(name - pattern));
    for (const FolderEntry& m : matches) {
        std::string path = folder + m.name;
        FolderId id;
        if (m.folder && platform_folder_id(path.c_str(), &id)) add_folder(path, id, inputs);
        else inputs.list.push_back({path});
    }
}

}  // namespace

bool is_standard_input(const std::string& path) { return path == "-"; }

bool has_video_extension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* v : video_extensions)
        if (extension == v) return true;
    return false;
}

BatchInputs expand_inputs(const std::vector<const char*>& arguments, bool expand) {
    BatchInputs inputs;
    inputs.several = arguments.size() > 1;
    for (const char* argument : arguments) {
        FolderId id;
        if (is_standard_input(argument) || !expand) {
            inputs.list.push_back({argument});
        } else if (is_pattern(argument)) {
            inputs.several = true;
            add_pattern(argument, inputs);
        } else if (platform_folder_id(argument, &id)) {
            inputs.several = true;
            add_folder(argument, id, inputs);
        } else {
            inputs.list.push_back({argument});
        }
    }
    return inputs;
}
