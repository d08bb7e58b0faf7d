// What every JSON document of the tool shares at its top level: it is one
// object that opens with the file's name ("file") and tells how the run
// ended ("status"). The run's outcome has one set of names here; each kind
// of document spells them as it always has, through one table.
#pragma once

#include <cstdio>

#include "json/json_writer.hpp"

// How a run ended, whatever it wrote.
enum class RunStatus {
    COMPLETE,     // read whole, nothing failed
    RULE_BROKEN,  // read whole; the stream breaks a rule of the profile
    REFUSED,      // a system stream the run cannot read
    ERROR,        // open, read, seek or write failed, or stopped short
};
inline constexpr unsigned RUN_STATUS_COUNT = 4;

// The kinds of document, for the names of their statuses.
enum class JsonDocument {
    HEADERS,  // the report: every header
    PATCHES,  // a rewrite: the patches written
    FIGURES,  // --stats: the figures
    CHECK,    // --check: the rules broken
    SUMMARY,  // --summary: the segments
};
inline constexpr unsigned JSON_DOCUMENT_COUNT = 5;

// The name of `status` in a document of `kind`.
const char* json_status_name(JsonDocument kind, RunStatus status);

// Starts the document on `out`, laid out as `layout`: `{"file": NAME`.
void json_envelope_open(JsonWriter& w, std::FILE* out, JsonLayout layout, const char* file_name);
// The member "status", where the document places it.
void json_envelope_status(JsonWriter& w, JsonDocument kind, RunStatus status);
// Ends the object and writes out what is buffered.
void json_envelope_close(JsonWriter& w);
