// The video stream inside a program or transport stream.
//
// The demultiplexer reads the file and hands out the bytes of one video
// stream (the PES payloads of one stream_id or PID), in order, as if they
// were an elementary stream: "stream offsets" count those bytes. Beside
// them it keeps the map of where each run of them lies in the file, for the
// bytes the scanner holds, and the places where the stream is damaged
// (bytes lost to a continuity gap, a PES packet cut short, lost sync).
// Nothing here knows about video headers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "input/input.hpp"
#include "input/stream_source.hpp"

enum class Container { ELEMENTARY, PROGRAM_STREAM, TRANSPORT_STREAM };

// A run of the stream's bytes: `length` bytes that lie in the file in
// pieces of `piece` bytes, piece k at file_offset + k * stride, the last
// piece perhaps shorter; stride 0 for a run in one piece. The payloads of
// transport packets that follow each other at the same distance, each of
// the same size, make one run.
struct PayloadRun {
    std::uint64_t stream_offset;
    std::uint64_t file_offset;
    std::uint32_t length;
    std::uint32_t piece;
    std::uint32_t stride;
    bool after_gap;  // bytes of the stream were lost just before it
};

// The file offset of the byte at `stream_offset`, which lies in run `r`.
inline std::uint64_t run_file_offset(const PayloadRun& r, std::uint64_t stream_offset) {
    std::uint64_t at = stream_offset - r.stream_offset;
    if (r.stride == 0) return r.file_offset + at;
    return r.file_offset + at / r.piece * r.stride + at % r.piece;
}

// Runs kept at most, in a ring; a fill stops early rather than grow the map.
inline constexpr std::uint32_t MAX_RUNS = 16384;
static_assert((MAX_RUNS & (MAX_RUNS - 1)) == 0, "the ring's index wraps with a mask");
// Bytes of the file the demultiplexer looks at at a time, a view of the
// input: any PES packet of a program stream (at most 6 + 65535 bytes) and
// the four bytes after it fit.
inline constexpr std::uint32_t DEMUX_BUFFER_SIZE = INPUT_VIEW_SIZE;
static_assert(DEMUX_BUFFER_SIZE >= 6 + 65535 + 4, "a PES packet and the next start code fit in a view");
// Stream bytes the scanner asks for at a time.
inline constexpr std::uint32_t DEMUX_FILL_SIZE = 1u << 17;
// Programs of a transport stream whose tables are read.
inline constexpr std::uint32_t MAX_PROGRAMS = 32;
// Video streams a transport stream's tables may list.
inline constexpr std::uint32_t MAX_LISTED = 64;

// A PID value no packet has (PIDs have 13 bits).
inline constexpr std::uint16_t NO_PID = 0x2000;

// A table section being put together from transport packets: whatever
// its section_length (12 bits) says, up to 3 + 4095 bytes.
inline constexpr std::uint32_t MAX_SECTION = 3 + 4095;
// PAT and PMT sections are at most this long (section_length up to 1021).
inline constexpr std::uint32_t SOUND_SECTION = 3 + 1021;
struct SectionBuffer {
    bool open = false;  // a section has begun and is not yet whole
    std::uint32_t have = 0;
    std::uint8_t bytes[MAX_SECTION] = {};
    // The last section whose CRC_32 was right, when it fits: a table sent
    // again unchanged is compared with it instead of summed again.
    std::uint32_t sound_have = 0;
    std::uint8_t sound[SOUND_SECTION] = {};
};

// A move of the followed program's video to another PID, announced by a
// new version of its PMT: the stream goes on from that PID.
struct StreamChange {
    std::uint64_t stream_offset;  // the first byte from the new PID
    std::uint64_t file_offset;    // the packet of the PMT that moved it
    std::uint16_t pid;            // elementary_PID from there on
    std::uint16_t program_number;
    std::uint8_t version_number;
};
// Changes kept at once: the report prints them as it goes and makes room;
// the JSON report lists the first ones. Any beyond are followed all the
// same.
inline constexpr std::uint32_t MAX_CHANGES = 64;

enum class DemuxStop { NONE, END, READ_FAILED, SCRAMBLED };

// A warning about the container as it is read: a kind and its arguments.
enum class DemuxWarningKind {
    SYNC_LOST,          // no packet or pack header at file_offset
    PES_CUT_SHORT,      // the PES packet at file_offset ends early
    CONTINUITY_GAP,     // on `pid`, at the packet at file_offset
    SECTION_CRC,        // a section of `pid` at file_offset, ignored
    SCRAMBLED_STRETCH,  // `length` bytes from file_offset passed over
    PACKET_CUT_SHORT,   // the last packet, at file_offset: `length` of packet_size bytes
};
struct DemuxWarning {
    DemuxWarningKind kind;
    std::uint64_t file_offset;
    std::uint32_t pid = 0;
    std::uint64_t length = 0;
    std::uint32_t packet_size = 0;
};

// Where the warnings go: a function and its state; none when `report` is
// null.
struct DemuxWarnings {
    void (*report)(void* state, const DemuxWarning& warning) = nullptr;
    void* state = nullptr;
};

// Prints `warning` as its line on `err`.
void print_demux_warning(std::FILE* err, const DemuxWarning& warning);
// The warnings printed on a stream: `stream` is its std::FILE*.
DemuxWarnings demux_warnings_on(std::FILE* stream);

struct Demuxer {
    // What is read.
    Input* input = nullptr;
    DemuxWarnings warnings;
    bool own_pass = false;  // choosing or skimming: the scan's pass warns
    Container container = Container::ELEMENTARY;
    std::uint32_t packet_size = 0;  // transport: 188 or 192
    std::uint32_t sync_at = 0;      // transport: 0, or 4 after a time-code prefix
    bool mpeg1 = false;             // program: MPEG-1 pack headers
    std::uint32_t stream = 0;       // PID or stream_id; `chosen` once known
    bool chosen = false;
    std::uint64_t start_offset = 0;  // first pack header or packet

    // The input's view: in[i] lies at file offset in_base + i.
    const std::uint8_t* in = nullptr;
    std::uint32_t in_held = 0;
    std::uint32_t in_pos = 0;
    std::uint64_t in_base = 0;
    bool in_end = false;

    // Payload found and not yet handed out: in[pay_at, pay_at + pay_left).
    std::uint32_t pay_at = 0;
    std::uint32_t pay_left = 0;
    bool gap_pending = false;  // the next run follows lost bytes
    bool gap_after = false;    // and so do the bytes after this payload

    // Stream bytes handed out so far, and the map of the last ones: the
    // ring runs[(run_first + i) % MAX_RUNS], i < run_count.
    std::uint64_t stream_end = 0;
    PayloadRun* runs = nullptr;
    std::uint32_t run_first = 0;
    std::uint32_t run_count = 0;
    std::uint64_t last_piece_at = 0;  // the file offset of the last run's last piece
    std::uint32_t last_piece_used = 0;  // and the bytes in it

    // Transport: the chosen PID's continuity counter and PES packet.
    int last_cc = -1;
    // The last packet taken of the stream started a PES packet: a packet
    // with the same counter is its duplicate only if it starts one too (two
    // recordings joined may well go on with the counter where it stood).
    bool last_started_pes = false;
    bool pes_started = false;
    std::uint32_t pes_header_need = 0;  // header bytes still to come
    std::uint32_t pes_header_have = 0;
    std::uint8_t pes_header[9 + 255] = {};
    std::uint32_t pes_left = 0;  // payload bytes the PES still owes; 0: unbounded
    bool pes_bounded = false;

    // Transport tables, every version of them, read while choosing the
    // stream: the programs of the PAT and, from their PMTs, the first video
    // stream each lists.
    std::uint16_t program_numbers[MAX_PROGRAMS] = {};
    std::uint16_t pmt_pids[MAX_PROGRAMS] = {};
    std::uint16_t first_video[MAX_PROGRAMS] = {};
    std::uint32_t program_count = 0;
    bool pat_read = false;
    bool pmt_read[MAX_PROGRAMS] = {};
    SectionBuffer* sections = nullptr;  // the PAT's, then one per PMT
    // Video streams found: PIDs (transport) or stream_ids (program), in
    // order, and the program_number of a PMT that lists each (transport).
    std::uint16_t listed[MAX_LISTED] = {};
    std::uint16_t listed_program[MAX_LISTED] = {};
    std::uint32_t listed_count = 0;

    // Transport, while reading the stream: the PAT and the chosen stream's
    // program's PMT are read on, and with `follow` (no stream was asked
    // for) a PMT version that no longer lists the stream moves it to the
    // program's first video stream.
    bool follow = false;
    std::uint32_t first_stream = 0;  // where each pass starts
    std::uint16_t program_number = 0;
    std::uint16_t first_pmt_pid = NO_PID;
    std::uint16_t pmt_pid = NO_PID;
    int pmt_version = -1;  // the version_number applied; -1 none yet
    std::uint32_t pmt_crc = 0;  // and the CRC_32 of its section
    StreamChange changes[MAX_CHANGES] = {};
    std::uint32_t change_count = 0;
    std::uint32_t changes_told = 0;  // printed in the report so far
    std::uint64_t changes_omitted = 0;  // found no room

    // Read-only runs pass over scrambled packets of the stream (a rewrite
    // refuses them): each stretch of them is warned of once it ends.
    bool skip_scrambled = false;
    bool scrambled_open = false;
    std::uint64_t scrambled_from = 0;
    std::uint64_t scrambled_to = 0;  // the end of its last packet
    bool scrambled_seen = false;     // any, in any pass

    DemuxStop stop = DemuxStop::NONE;
    std::uint64_t stop_offset = 0;  // the scrambled packet
    // Set before demux_detect: a file that looks like none of the three, or
    // like a transport stream of a packet size not read, is read as an
    // elementary stream, as a run not asked to demux has always read it,
    // instead of refused.
    bool elementary_when_unknown = false;
};

// Finds out what the file is from its first bytes, read from its start:
// ELEMENTARY for an elementary stream (and an empty file). False after a
// refusal (another packet size, a file that is none of the three),
// reported on `err`, or a failed read (d.stop READ_FAILED, not reported).
// Its warnings go to `warnings` from then on.
bool demux_detect(Demuxer& d, Input& input, std::FILE* err, DemuxWarnings warnings);

// Chooses the video stream: `requested` (a PID or stream_id, or -1 for the
// first one), reading as far into the file as it takes, then goes back to
// the start. False after a refusal, reported on `err`, or a failure.
bool demux_choose(Demuxer& d, long requested, std::FILE* err);

// Starts (again) from the first packet; the map and stream offsets too.
bool demux_rewind(Demuxer& d);

// Hands out up to `capacity` more bytes of the stream; *got is 0 at its
// end, after a failure (d.stop READ_FAILED) or a refusal (SCRAMBLED).
void demux_fill(Demuxer& d, std::uint8_t* dest, std::uint32_t capacity, std::uint32_t* got);

// Run `i` of the map, 0 the oldest one held.
inline const PayloadRun& demux_run(const Demuxer& d, std::uint32_t i) {
    return d.runs[(d.run_first + i) & (MAX_RUNS - 1)];
}

// Forgets the runs that end at or before `stream_offset`.
void demux_forget_before(Demuxer& d, std::uint64_t stream_offset);

// The file offset of the stream byte at `stream_offset`, which the map
// still holds; past the last byte handed out, where reading has reached.
std::uint64_t demux_file_offset(const Demuxer& d, std::uint64_t stream_offset);

// Reads the stream on into `scratch`, without warnings (the scan's pass
// gives them) and keeping no more
// of the map than the last run, until `until` bytes have been handed out;
// false when it ends (or stops: d.stop says why) before.
bool demux_skim(Demuxer& d, std::uint64_t until, std::uint8_t* scratch, std::uint32_t scratch_size);

// The file offset of the stream byte at `stream_offset` once the map has
// forgotten it (after a whole pass, say): starts again from the first packet
// and reads the stream into `scratch`, without warnings, until the map holds
// that byte. False when reading fails or the stream ends before it.
bool demux_map_offset(Demuxer& d, std::uint64_t stream_offset, std::uint8_t* scratch,
                      std::uint32_t scratch_size, std::uint64_t* file_offset);

// The file offsets of `count` stream bytes from `stream_offset`, and whether
// any of them follows a gap that the first does not: such a stretch is not
// the file's bytes as the encoder wrote them.
bool demux_locate(const Demuxer& d, std::uint64_t stream_offset, std::uint32_t count,
                  std::uint64_t* file_offsets);

// The demultiplexer as the scanner's source: its fills are capped at
// DEMUX_FILL_SIZE, and a read-only run's warnings come as it reads.
StreamSource demux_source(Demuxer& d);

// Allocates the buffers; false when there is no memory.
bool demux_open(Demuxer& d);
void demux_close(Demuxer& d);

// Prints, as report lines, the stream changes that happen at or before
// `stream_offset` and have not been printed yet: before the header there.
void demux_print_changes(Demuxer& d, std::uint64_t stream_offset, std::FILE* out);

// The name of what was read, e.g. "transport stream, 188-byte packets,
// PID 0x0200"; empty for an elementary stream.
void format_stream_name(const Demuxer& d, char* text, std::size_t size);

// Prints the line that names what was read, e.g.
// "stream: transport stream, 188-byte packets, PID 0x0200".
void print_stream_line(const Demuxer& d, std::FILE* out);
