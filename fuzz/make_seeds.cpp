// Writes small streams that exercise every header handler into the folder
// named on the command line: the fuzzers' starting corpus, beside the
// committed sample streams.
#include <cstdio>
#include <string>

#include "stream_builder.hpp"

namespace {

Bytes sequence(unsigned bit_rate_value, bool matrices) {
    SequenceHeader h;
    h.bit_rate_value = bit_rate_value;
    h.load_intra_quantiser_matrix = matrices;
    h.load_non_intra_quantiser_matrix = matrices;
    SequenceDisplayExtension d;
    d.colour_description = matrices;
    return concat({sequence_header(h), sequence_extension({}), sequence_display_extension(d)});
}

Bytes picture(unsigned type, bool composite, bool matrices) {
    PictureHeader p;
    p.picture_coding_type = type;
    PictureCodingExtension e;
    e.composite_display_flag = composite;
    e.picture_structure = composite ? 1 : 3;
    e.repeat_first_field = composite;
    Bytes b = concat({picture_header(p), picture_coding_extension(e)});
    if (matrices) append(b, quant_matrix_extension(true, true, true, true, 0x11));
    append(b, concat({picture_display_extension(composite ? 1 : 2), slice(40), slice(30, 2)}));
    return b;
}

bool write(const std::string& folder, const char* name, const Bytes& bytes) {
    std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    GroupHeader g;
    g.time_code_minutes = 12;
    Bytes full = concat({sequence(20000, false), group_header(g), user_data("cc"),
                         picture(1, false, false), picture(2, true, true),
                         picture(3, false, false), copyright_extension(),
                         sequence(0x3FFFF, true), group_header({}), picture(1, false, true),
                         sequence_end()});
    SequenceExtension progressive;
    progressive.progressive_sequence = 1;
    progressive.bit_rate_extension = 0xFFF;
    Bytes mpeg1 = concat({sequence_header({}), group_header({}), picture_header({}),
                          slice(20), sequence_end()});
    Bytes orphan = concat({sequence_extension({}), sequence_header({}), sequence_extension(progressive),
                           bare_extension(5), bare_extension(9), bare_extension(15),
                           picture_header({}), picture_display_extension(3)});
    Bytes zeros = concat({filler(300, 0), {0, 0, 1}, filler(5, 0), sequence_header({}),
                          sequence_extension({})});
    // Transport-stream packets: sync bytes 188 bytes apart.
    Bytes transport = filler(4 * 188, 0x00);
    for (std::size_t i = 0; i < transport.size(); i += 188) transport[i] = 0x47;
    append(transport, full);
    // Film at 23.976 fps for --pulldown: two groups of frame pictures in
    // coded order I P B, progressive_frame 1.
    SequenceHeader film_rate;
    film_rate.frame_rate_code = 1;
    Bytes film = concat({sequence_header(film_rate), sequence_extension(progressive)});
    for (int gop = 0; gop < 2; ++gop) {
        append(film, group_header({}));
        for (unsigned tr : {0u, 2u, 1u}) {
            append(film, concat({picture_header({tr, tr == 0 ? 1u : tr == 2 ? 2u : 3u}),
                                 picture_coding_extension({}), slice(20)}));
        }
    }
    bool ok = write(folder, "film.m2v", film) && write(folder, "transport.m2v", transport) && write(folder, "full.m2v", full) && write(folder, "mpeg1.m2v", mpeg1) &&
              write(folder, "orphan.m2v", orphan) && write(folder, "zeros.m2v", zeros) &&
              write(folder, "pack.m2v", concat({start_code(0xBA), filler(20), full}));
    return ok ? 0 : 1;
}
