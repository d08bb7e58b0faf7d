// The --json document: every header with its offset and syntax elements, the
// layer warnings and how the run ended, or, for a rewrite, the patches
// written. It is written out as the scan goes; nothing of it is kept but the
// warnings, which follow the headers.
//
//   {"file": NAME, "size": BYTES, "headers": [...],
//    ["pid_changes": [{"offset": N, "pid": P, "program_number": N,
//                      "version_number": N}, ...],
//     "pid_changes_omitted": 0,] (--demux, transport)
//    "warnings": [...], "warnings_omitted": 0,
//    "status": "complete" | "refused" | "error"}
//   {"file": NAME, ["stream": {...}, "passes": 1|2,] (--demux)
//    "bit_rate": N, "patches": [...],
//    ["sequences": N, "could_not_take": {ELEMENT: N, ...},] (with --set)
//    "warnings": [...], "warnings_omitted": 0, "status": ...}
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "headers/header_sink.hpp"
#include "json/json_envelope.hpp"
#include "json/json_writer.hpp"
#include "scan/stream_context.hpp"

// Warnings kept for the array after the headers, 8 bytes each: 1 MiB at
// most. Those beyond are counted in "warnings_omitted".
inline constexpr std::size_t MAX_WARNINGS_KEPT = std::size_t{1} << 17;

struct JsonReport {
    JsonWriter writer;
    const char* file_name = nullptr;
    bool head_written = false;
    // A rewrite inside a container: the passes over the file, 1, or 2 when
    // its patches outgrew their budget.
    unsigned passes = 1;
    std::vector<std::uint64_t> warnings;  // offset << 1 | LayerWarning
    std::uint64_t warnings_omitted = 0;
    // Once a rewrite with --set has ended: the sequences, and per element
    // set, how many of them could not take it.
    bool missed_counted = false;
    std::uint64_t sequences = 0;
    std::vector<std::pair<const char*, std::uint64_t>> missed;
    // A report of a transport stream: where its video moved to other PIDs.
    bool changes_known = false;
    std::vector<StreamChange> changes;
    std::uint64_t changes_omitted = 0;  // beyond those the demuxer keeps
};

// `m2vhdr --json FILE [BITRATE]`: opens the document ({"file": NAME) on
// ctx.run.out and makes `report` the run's (ctx.json) until it is closed.
void json_document_open(StreamContext& ctx, JsonReport& report, const char* file_name);
// Ends the document: the opening if the file never opened, the arrays kept
// for after the headers and the run's `status` last.
void json_document_close(StreamContext& ctx, RunStatus status);

// Writes the document's opening up to its headers' or patches' array; called
// once the file is open. A run that fails before gets it when it closes.
void json_head(StreamContext& ctx);

// Records the layer warnings for the array after the headers; its state is
// the JsonReport. It goes first in a chain with the run's own sink, which
// prints them.
extern const HeaderSink json_warnings_sink;

// "stream": {"container": "transport", "packet_size": 188, "pid": 512} or
// {"container": "program", "mpeg1": false, "stream_id": 224}
void json_stream_member(JsonWriter& w, const Demuxer& d);

// Keeps the moves of a transport stream's video to other PIDs for the
// "pid_changes" array after the headers.
void json_stream_changes(StreamContext& ctx, const Demuxer& d);

// One entry per decoded header (json_headers.cpp).
extern const HeaderSink json_report_sink;

// The derived values of a sequence from the context: those of a sequence
// extension (`mpeg2`), or of an MPEG-1 sequence header (json_sequence.cpp).
void json_sequence_values(JsonWriter& w, const StreamContext& ctx, bool mpeg2,
                          unsigned profile_and_level_indication);
