// The document around the headers or patches: its opening, the warnings
// and the status.
#include "json/json_envelope.hpp"
#include "json/json_report.hpp"

namespace {

// The layer warnings, in English, indexed by LayerWarning.
constexpr const char* warning_messages[] = {
    "sequence extension code found outside the sequence layer",
    "picture extension code found outside the picture layer",
};

// Kept for the array after the headers; the run's own sink, next in the
// chain, prints it on standard error as without --json.
void record_warning(StreamContext& ctx, void* own, LayerWarning warning) {
    JsonReport& report = *static_cast<JsonReport*>(own);
    if (report.warnings.size() < MAX_WARNINGS_KEPT)
        report.warnings.push_back(file_offset_of(ctx, offset_of(ctx)) << 1 | static_cast<unsigned>(warning));
    else
        ++report.warnings_omitted;
}

void write_head(StreamContext& ctx, bool file_open);

void write_warnings(JsonReport& report) {
    JsonWriter& w = report.writer;
    json_key(w, "warnings");
    json_begin_array(w);
    for (std::uint64_t packed : report.warnings) {
        json_begin_object(w);
        json_member_uint(w, "offset", packed >> 1);
        json_member_string(w, "message", warning_messages[packed & 1]);
        json_end_object(w);
    }
    json_end_array(w);
    json_member_uint(w, "warnings_omitted", report.warnings_omitted);
}

}  // namespace

void json_stream_member(JsonWriter& w, const Demuxer& d) {
    json_key(w, "stream");
    json_begin_object(w);
    bool transport = d.container == Container::TRANSPORT_STREAM;
    json_member_string(w, "container", transport ? "transport" : "program");
    if (transport) {
        json_member_uint(w, "packet_size", d.packet_size);
        json_member_uint(w, "pid", d.stream);
    } else {
        json_key(w, "mpeg1");
        json_bool(w, d.mpeg1);
        json_member_uint(w, "stream_id", d.stream);
    }
    json_end_object(w);
}

const HeaderSink json_warnings_sink = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, record_warning,
};

void json_document_open(StreamContext& ctx, JsonReport& report, const char* file_name) {
    report.file_name = file_name;
    ctx.json = &report;
    json_envelope_open(report.writer, ctx.run.out, ctx.run.json_layout, file_name);
}

void json_document_close(StreamContext& ctx, RunStatus status) {
    JsonReport& report = *ctx.json;
    JsonWriter& w = report.writer;
    if (!report.head_written) write_head(ctx, false);  // the file did not open
    json_end_array(w);
    if (report.changes_known) {
        json_key(w, "pid_changes");
        json_begin_array(w);
        for (const StreamChange& c : report.changes) {
            json_begin_object(w);
            json_member_uint(w, "offset", c.file_offset);
            json_member_uint(w, "pid", c.pid);
            json_member_uint(w, "program_number", c.program_number);
            json_member_uint(w, "version_number", c.version_number);
            json_end_object(w);
        }
        json_end_array(w);
        json_member_uint(w, "pid_changes_omitted", report.changes_omitted);
    }
    if (report.missed_counted) {
        json_member_uint(w, "sequences", report.sequences);
        json_key(w, "could_not_take");
        json_begin_object(w);
        for (const auto& [name, count] : report.missed) json_member_uint(w, name, count);
        json_end_object(w);
    }
    write_warnings(report);
    json_envelope_status(w, ctx.run.mode == Mode::REPORT ? JsonDocument::HEADERS
                                                         : JsonDocument::PATCHES,
                         status);
    json_envelope_close(w);
    ctx.json = nullptr;
}

void json_head(StreamContext& ctx) { write_head(ctx, true); }

void json_stream_changes(StreamContext& ctx, const Demuxer& d) {
    if (d.container != Container::TRANSPORT_STREAM) return;
    ctx.json->changes_known = true;
    ctx.json->changes.assign(d.changes, d.changes + d.change_count);
    ctx.json->changes_omitted = d.changes_omitted;
}

namespace {

void write_head(StreamContext& ctx, bool file_open) {
    JsonReport& report = *ctx.json;
    JsonWriter& w = report.writer;
    report.head_written = true;
    if (ctx.demux) json_stream_member(w, *ctx.demux);
    if (ctx.run.mode == Mode::REWRITE) {
        if (ctx.demux) json_member_uint(w, "passes", report.passes);
        // The rate as stored: a multiple of 400 bit/s.
        if (ctx.run.rewrites_bit_rate)
            json_member_uint(w, "bit_rate", ctx.run.target_bit_rate / 400 * std::uint64_t{400});
        json_key(w, "patches");
    } else {
        std::int64_t size = 0;
        json_key(w, "size");
        if (file_open && platform_size(ctx.file, &size) && size >= 0)
            json_uint(w, static_cast<std::uint64_t>(size));
        else
            json_null(w);
        json_key(w, "headers");
    }
    json_begin_array(w);
}

}  // namespace
