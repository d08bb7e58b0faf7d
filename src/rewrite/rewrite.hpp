// In-place rewrite of the nominal bit rate, and the progress line.
#pragma once

#include "headers/header_sink.hpp"
#include "scan/stream_context.hpp"

// Patches bit_rate_value of the last sequence header and bit_rate_extension
// of the sequence extension at `pos` to target_bit_rate. Returns STOP after a
// seek or write failure (already reported).
ParseResult rewrite_bit_rate(StreamContext& ctx, const syntax::SequenceExtension& e);

// The sink of `m2vhdr FILE BITRATE`: the patch at every sequence extension,
// the layer warnings, nothing else.
extern const HeaderSink rewrite_bit_rate_sink;

// Prints "処理: done/totalバイト (percent%)" followed by `end` ("\r" while
// the scan goes on, "\n" for the closing line).
void print_progress(const StreamContext& ctx, const char* end);
