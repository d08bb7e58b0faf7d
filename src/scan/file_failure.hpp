// The one message for a file that could not be used.
#pragma once

#include "scan/stream_context.hpp"

enum class FileFailure { OPEN, READ, SEEK, WRITE };

// The system's text for error `code` (platform_error_text), or that the
// reason is unknown for 0.
void failure_reason(std::FILE* stream, int code, char* text, std::size_t size);

// Prints why the last platform operation on ctx's file failed: the file's
// name and the system's reason, or, for an original command line in the C
// locale (ctx.run.original_texts), the text the tool has always printed.
void print_file_failure(const StreamContext& ctx, FileFailure what);

// The same for another file the run uses, by the name the user gave it.
void print_named_file_failure(const StreamContext& ctx, const char* name, FileFailure what);
