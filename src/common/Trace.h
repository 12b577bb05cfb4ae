// The one trace function. Every diagnostic line of the system goes through Trace.
// Lines are formatted into a 256-byte buffer (longer lines are cut) and handed to
// the attached sink; with no sink attached (the programs' default) nothing is
// written anywhere.
#pragma once

// bOn is the caller's own switch for the line; it is passed to the sink, which
// may honour it (a trace file writer) or ignore it (a test capturing every line).
typedef void (*TRACE_SINK)(void* pContext, bool bOn, const char* pszLine);

constexpr int TRACE_BUFFER_LEN = 256;

void Trace(bool bOn, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

// Attaches a sink (or detaches it with null). The sink may be called from any thread.
void SetTraceSink(TRACE_SINK pfnSink, void* pContext);

// A sink that writes every line to standard error (vuqctl -v).
void TraceToStderr(void* pContext, bool bOn, const char* pszLine);
