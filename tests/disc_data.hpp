// The discs that tests/data/make_discs.sh authors with ffmpeg and dvdauthor
// before the disc tests run (the ctest fixture disc_data).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "stream_builder.hpp"

// The folder holding disc `name` (its VIDEO_TS inside); empty when the discs
// were not made (no ffmpeg or dvdauthor when the build was configured).
inline std::string disc_folder(const std::string& name) {
    std::string root = M2VHDR_DISCS;
    if (root.empty()) return {};
    return root + "/" + name;
}

// Skips the test when the discs are not there.
#define REQUIRE_DISC(folder, name)                                                \
    std::string folder = disc_folder(name);                                       \
    if (folder.empty()) GTEST_SKIP() << "no ffmpeg or dvdauthor: discs not made"; \
    ASSERT_TRUE(std::filesystem::is_directory(folder + "/VIDEO_TS")) << folder

// Every disc make_discs.sh makes.
inline const char* const all_discs[] = {"ntsc_43",     "ntsc_169",     "pal_43",
                                        "pal_169",     "menus_43",     "menus_169",
                                        "two_sets_43", "two_sets_169", "two_sets_mixed", "sif_captions"};
