#pragma once
// File streams of the VELDAN support libraries.
//
// A DynStream is an opaque, thread-safe file stream:
//  - paths are wide text (UTF-32 wchar_t) converted to UTF-8 at the system
//    call; dyn_fopen takes a UTF-8 path directly;
//  - "r"/"rb" read; "a"/"ab" append ("a+"/"a+b"/"ab+" also read);
//  - "w"/"wb" replace the file atomically: everything goes to a temporary file
//    in the same folder, which dyn_fcommit or dyn_fclose flushes, fsyncs and
//    renames over the target. Until then the previous file is untouched; a
//    write error or a failed commit leaves it untouched and removes the
//    temporary;
//  - output is appended in whole lines: text is collected per calling thread
//    and written once it ends with a line feed (or on dyn_fflush/dyn_fclose),
//    so lines written by several threads never mix inside a line.
// Text and binary modes behave the same.
#include <cstdarg>
#include <cstddef>
#include "platform/Export.h"

struct DynStream;

// Opens a stream; null on failure (errno set; EINVAL for an unknown mode).
VELDAN_API DynStream* dyn_wfopen(const wchar_t* path, const char* mode);
VELDAN_API DynStream* dyn_wfopen(const wchar_t* path, const wchar_t* mode);
VELDAN_API DynStream* dyn_fopen(const char* utf8Path, const char* mode);

// Writes what is pending, commits a "w" stream and frees the stream.
// 0 on success; -1 (EOF) when anything failed (a "w" target is then left as
// it was) or for a null stream.
VELDAN_API int dyn_fclose(DynStream* stream);

// Formatted output (C library printf formats); number of bytes or -1.
VELDAN_API int dyn_fprintf(DynStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
VELDAN_API int dyn_vfprintf(DynStream* stream, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
VELDAN_API int dyn_fputs(const char* text, DynStream* stream);
VELDAN_API size_t dyn_fwrite(const void* data, size_t size, size_t count, DynStream* stream);

// Writes the calling thread's unfinished line and flushes to the system.
// 0 or -1.
VELDAN_API int dyn_fflush(DynStream* stream);

// "w" streams: makes the contents durable and replaces the target now
// (fflush, fsync, rename, fsync of the folder). Later writes fail. 0 or -1.
// Other streams: dyn_fflush plus fsync.
VELDAN_API int dyn_fcommit(DynStream* stream);

// Input (streams opened for reading).
VELDAN_API size_t dyn_fread(void* data, size_t size, size_t count, DynStream* stream);
VELDAN_API char* dyn_fgets(char* buffer, int size, DynStream* stream);
VELDAN_API int dyn_feof(DynStream* stream);
VELDAN_API int dyn_ferror(DynStream* stream);

// The UTF-8 path the stream was opened with (never null for a valid stream).
VELDAN_API const char* dyn_fpath(DynStream* stream);
