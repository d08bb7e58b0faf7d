// Finding a disc's files from the names in its VIDEO_TS folder.
#include "disc/disc_files.hpp"

#include <algorithm>
#include <cstddef>

#include "platform/dir.hpp"

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upper(const std::string& s) {
    std::string u = s;
    for (char& c : u) c = upper(c);
    return u;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A disc file's name in upper case, split: VMG (title_set 0, part -1) or
// VTS_nn_p; `extension` is IFO, BUP or VOB.
struct DiscName {
    unsigned title_set = 0;
    int part = -1;
    std::string extension;
};

bool parse_disc_name(const std::string& name, DiscName* out) {
    std::string u = upper(name);
    if (u.size() != 12) return false;  // 8.3 names of 8 letters
    std::string extension = u.substr(u.size() - 3);
    if (u[u.size() - 4] != '.' ||
        (extension != "IFO" && extension != "BUP" && extension != "VOB")) {
        return false;
    }
    if (u.compare(0, 8, "VIDEO_TS") == 0) {
        *out = {0, -1, extension};
        return true;
    }
    // VTS_nn_p.EXT
    if (u.compare(0, 4, "VTS_") != 0 || !is_digit(u[4]) || !is_digit(u[5]) || u[6] != '_' ||
        !is_digit(u[7])) {
        return false;
    }
    unsigned set = static_cast<unsigned>((u[4] - '0') * 10 + (u[5] - '0'));
    int part = u[7] - '0';
    if (set == 0) return false;
    if (part != 0 && extension != "VOB") return false;  // only VTS_nn_0 has tables
    *out = {set, part, extension};
    return true;
}

// `name` in `folder`, with the separator the folder's path already uses
// (a Windows path given with backslashes keeps them), '/' by default.
std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    std::size_t at = folder.find_last_of("/\\");
    char separator = at == std::string::npos ? '/' : folder[at];
    return folder + separator + name;
}

// The folder that holds `path` and the last part of `path`.
void split_path(const std::string& path, std::string* folder, std::string* name) {
    std::size_t at = path.find_last_of("/\\");
    if (at == std::string::npos) {
        folder->assign(1, '.');  // (assigning "." trips a false -Wrestrict in GCC 12)
        *name = path;
        return;
    }
    *folder = at == 0 ? path.substr(0, 1) : path.substr(0, at);
    *name = path.substr(at + 1);
}

bool has_disc_tables(const std::vector<std::string>& names) {
    DiscName n;
    for (const std::string& name : names) {
        if (parse_disc_name(name, &n) && n.extension != "VOB") return true;
    }
    return false;
}

// "VTS_nn_p.EXT", as the disc names it.
std::string vts_name(unsigned set, char part, const char* extension) {
    std::string name = "VTS_00_0.";
    name[4] = static_cast<char>('0' + set / 10);
    name[5] = static_cast<char>('0' + set % 10);
    name[7] = part;
    return name + extension;
}

TitleSetFiles* title_set(DiscFiles* disc, unsigned number) {
    for (TitleSetFiles& t : disc->title_sets) {
        if (t.title_set == number) return &t;
    }
    disc->title_sets.push_back({});
    disc->title_sets.back().title_set = number;
    return &disc->title_sets.back();
}

// Notes `path` in `*slot`, unless a name that differs only in case came
// first.
void keep(DiscFiles* disc, std::string* slot, const std::string& path, unsigned set,
          const std::string& name) {
    if (!slot->empty()) {
        disc->damage.push_back({DiscDamage::SAME_NAME_TWICE, set, name});
        return;
    }
    *slot = path;
}

DiscFiles fault(DiscFault f, int error) {
    DiscFiles d;
    d.fault = f;
    d.error = error;
    return d;
}

}  // namespace

DiscFiles disc_files_from_names(const std::string& folder, const std::vector<std::string>& names) {
    DiscFiles disc;
    disc.video_ts = folder;
    // Title VOBs by title set and part, gaps found after all are seen.
    std::string vobs[100][10];
    for (const std::string& name : names) {
        DiscName n;
        if (!parse_disc_name(name, &n)) continue;
        std::string path = join(folder, name);
        if (n.title_set == 0) {
            std::string* slot = n.extension == "IFO"   ? &disc.vmg_ifo
                                : n.extension == "BUP" ? &disc.vmg_bup
                                                       : &disc.vmg_vob;
            keep(&disc, slot, path, 0, name);
            continue;
        }
        TitleSetFiles* t = title_set(&disc, n.title_set);
        if (n.extension == "IFO") {
            keep(&disc, &t->ifo, path, n.title_set, name);
        } else if (n.extension == "BUP") {
            keep(&disc, &t->bup, path, n.title_set, name);
        } else if (n.part == 0) {
            keep(&disc, &t->menu_vob, path, n.title_set, name);
        } else {
            keep(&disc, &vobs[n.title_set][n.part], path, n.title_set, name);
        }
    }
    std::sort(
        disc.title_sets.begin(), disc.title_sets.end(),
        [](const TitleSetFiles& a, const TitleSetFiles& b) { return a.title_set < b.title_set; });
    if (disc.vmg_ifo.empty()) disc.damage.push_back({DiscDamage::MISSING_IFO, 0, "VIDEO_TS.IFO"});
    if (disc.vmg_bup.empty()) disc.damage.push_back({DiscDamage::MISSING_BUP, 0, "VIDEO_TS.BUP"});
    // A title set below the highest with no file at all.
    unsigned highest = disc.title_sets.empty() ? 0 : disc.title_sets.back().title_set;
    for (unsigned set = 1, at = 0; set < highest; ++set) {
        if (disc.title_sets[at].title_set == set) {
            ++at;
            continue;
        }
        disc.damage.push_back({DiscDamage::MISSING_IFO, set, vts_name(set, '0', "IFO")});
    }
    for (TitleSetFiles& t : disc.title_sets) {
        if (t.ifo.empty())
            disc.damage.push_back(
                {DiscDamage::MISSING_IFO, t.title_set, vts_name(t.title_set, '0', "IFO")});
        if (t.bup.empty())
            disc.damage.push_back(
                {DiscDamage::MISSING_BUP, t.title_set, vts_name(t.title_set, '0', "BUP")});
        bool gap = false;
        for (unsigned part = 1; part <= 9; ++part) {
            const std::string& vob = vobs[t.title_set][part];
            if (vob.empty()) {
                gap = true;
                continue;
            }
            if (gap) {
                std::string folder_part, name;
                split_path(vob, &folder_part, &name);
                disc.damage.push_back({DiscDamage::TITLE_VOB_GAP, t.title_set, name});
                break;
            }
            t.title_vobs.push_back(vob);
        }
        if (vobs[t.title_set][1].empty()) {
            disc.damage.push_back(
                {DiscDamage::NO_TITLE_VOB, t.title_set, vts_name(t.title_set, '1', "VOB")});
        }
    }
    return disc;
}

DiscFiles disc_find(const char* path) {
    std::vector<std::string> names;
    int error = 0;
    // "VIDEO_TS/" names the folder as "VIDEO_TS" does; a root stays as it is.
    std::string folder = path;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    FolderListing listing = platform_list_folder(folder.c_str(), &names, &error);
    if (listing == FolderListing::NOT_A_FOLDER) {
        std::string name;
        split_path(std::string(folder), &folder, &name);
        std::string u = upper(name);
        if (u.size() < 4 ||
            (u.compare(u.size() - 4, 4, ".IFO") != 0 && u.compare(u.size() - 4, 4, ".BUP") != 0)) {
            return fault(DiscFault::NOT_A_DISC_FILE, 0);
        }
        listing = platform_list_folder(folder.c_str(), &names, &error);
    }
    if (listing != FolderListing::LISTED) return fault(DiscFault::OPEN_FAILED, error);
    if (!has_disc_tables(names)) {
        // The folder above VIDEO_TS.
        auto sub = std::find_if(names.begin(), names.end(),
                                [](const std::string& n) { return upper(n) == "VIDEO_TS"; });
        if (sub == names.end()) return fault(DiscFault::NOT_A_DISC, 0);
        folder = join(folder, *sub);
        listing = platform_list_folder(folder.c_str(), &names, &error);
        if (listing != FolderListing::LISTED) return fault(DiscFault::OPEN_FAILED, error);
        if (!has_disc_tables(names)) return fault(DiscFault::NOT_A_DISC, 0);
    }
    return disc_files_from_names(folder, names);
}
