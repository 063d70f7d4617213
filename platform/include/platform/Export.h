#pragma once
// Symbol export for the project's shared libraries. Everything is built with
// hidden visibility; classes and functions that form a library's interface are
// marked VELDAN_API.
#define VELDAN_API   __attribute__((visibility("default")))
// C entry points that keep their plain names.
#define VELDAN_C_API extern "C" __attribute__((visibility("default")))
