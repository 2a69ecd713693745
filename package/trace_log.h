// The optional diagnostic trace file, one per process: printf-style lines written and flushed at once
// between "## OpenTraces: <path>" and "## CloseTraces". Closed at start; while closed, trace drops all.
#pragma once

// Opens (creating or truncating) the trace file, closing an open one first. A file that cannot be
// created leaves the log closed, silently.
void trace_open(const char* path);

// Writes the formatted text exactly as given (no prefix, no added line end) and flushes it. While the
// log is closed it costs one test and writes nothing.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes "## CloseTraces" and closes the file; nothing when the log is closed.
void trace_close();
