// m2vhdr.exe against the Linux build on whole streams: the same report, and
// the same bytes in the file after a rewrite.
#include <cctype>
#include <filesystem>

#include "windows/exe_runner.hpp"

namespace {

constexpr std::size_t WINDOW = 1u << 20;

// A stream with what real encoders write, over several windows: sequences
// with and without quantiser matrices, display and coding extensions, GOPs,
// I, P and B pictures, user data, slices, and a sequence header just before
// a window slide.
Bytes built_stream() {
    Bytes s;
    SequenceHeader h;
    h.bit_rate_value = 15000;
    h.load_intra_quantiser_matrix = true;
    h.intra_quantiser_matrix.fill(0x10);
    SequenceDisplayExtension d;
    d.colour_description = true;
    for (unsigned gop = 0; gop < 24; ++gop) {
        h.load_non_intra_quantiser_matrix = gop % 3 == 1;
        h.non_intra_quantiser_matrix.fill(0x01);
        if (gop == 7) {
            // The next sequence header starts 100 bytes before the end of
            // the valid data of a window.
            std::size_t target = 2 * WINDOW - 196 - 100;
            if (s.size() < target) append(s, filler(target - s.size(), 0xA5));
        }
        append(s, concat({sequence_header(h), sequence_extension({}),
                          sequence_display_extension(d), user_data("gop " + std::to_string(gop)),
                          group_header({0, 1, 2, gop % 60, 0, 1, 0})}));
        for (unsigned pic = 0; pic < 6; ++pic) {
            PictureHeader p;
            p.temporal_reference = pic;
            p.picture_coding_type = pic == 0 ? 1 : (pic % 3 == 0 ? 2 : 3);
            PictureCodingExtension c;
            c.top_field_first = pic % 2;
            c.progressive_frame = 0;
            append(s, concat({picture_header(p), picture_coding_extension(c),
                              slice(40000 + 997 * pic, 1), slice(3000, 2)}));
        }
    }
    append(s, sequence_end());
    return s;
}

struct SampleCase {
    std::string name;
    std::string path;  // empty for the built stream
    bool mpeg2;        // has sequence extensions, whose bit rate a rewrite sets
    friend void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<SampleCase> sample_cases() {
    std::vector<SampleCase> cases = {{"built_stream", "", true}};
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(M2VHDR_TEST_DATA, ec)) {
        std::string extension = entry.path().extension().string();
        if (extension != ".m2v" && extension != ".m1v") continue;
        std::string name = entry.path().stem().string();
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        cases.push_back({name, entry.path().string(), extension == ".m2v"});
    }
    return cases;
}

class SameBytesAsLinux : public NeedsWindowsBuild<::testing::TestWithParam<SampleCase>> {
protected:
    void SetUp() override {
        NeedsWindowsBuild::SetUp();
        if (IsSkipped()) return;
        stream_ = GetParam().path.empty() ? built_stream() : read_file(GetParam().path);
        ASSERT_FALSE(stream_.empty());
    }
    Bytes stream_;
};

TEST_P(SameBytesAsLinux, Report) {
    ScratchDir dir;
    std::string path = dir.write("s.m2v", stream_);
    RunResult linux_run = run_linux({"m2vhdr", path});
    RunResult windows_run = run_tool({"m2vhdr", path});
    EXPECT_EQ(linux_run.status, 0);
    EXPECT_NE(linux_run.out.find("SEQUENCE_HEADER_CODE"), std::string::npos);
    EXPECT_EQ(windows_run.status, linux_run.status);
    EXPECT_EQ(windows_run.out, linux_run.out);
    EXPECT_EQ(windows_run.err, linux_run.err);
}

TEST_P(SameBytesAsLinux, Rewrite) {
    bool changed = false;
    for (const char* rate : {"15000000", "120000000", "4294967295"}) {
        ScratchDir dir;
        std::string linux_path = dir.write("linux.m2v", stream_);
        std::string windows_path = dir.write("windows.m2v", stream_);
        RunResult linux_run = run_linux({"m2vhdr", linux_path, rate});
        RunResult windows_run = run_tool({"m2vhdr", windows_path, rate});
        EXPECT_EQ(linux_run.status, 0) << rate;
        EXPECT_EQ(windows_run.status, linux_run.status) << rate;
        EXPECT_EQ(windows_run.out, linux_run.out) << rate;
        EXPECT_EQ(windows_run.err, linux_run.err) << rate;
        Bytes linux_bytes = read_file(linux_path);
        changed = changed || linux_bytes != stream_;
        EXPECT_EQ(linux_bytes.size(), stream_.size()) << rate;
        EXPECT_TRUE(read_file(windows_path) == linux_bytes) << rate;
    }
    // A stream already at one of the rates stays as it is for that one.
    EXPECT_EQ(changed, GetParam().mpeg2);
}

INSTANTIATE_TEST_SUITE_P(Streams, SameBytesAsLinux, ::testing::ValuesIn(sample_cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
