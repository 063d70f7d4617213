#pragma once
// Helpers over the libxml2 text writer and text reader that the records use
// to write and read their attributes. The handles come in untyped, as the
// record interfaces take them.
#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace veldan::project::xml {

inline xmlTextWriterPtr Writer(void* w) { return static_cast<xmlTextWriterPtr>(w); }
inline xmlTextReaderPtr Reader(void* r) { return static_cast<xmlTextReaderPtr>(r); }

// Writes one attribute with a printf format on the element the caller has
// started; false on a writer error.
bool WriteAttr(void* writer, const char* name, const char* format, ...) __attribute__((format(printf, 3, 4)));
bool StartElement(void* writer, const char* name);
bool EndElement(void* writer);
// Writes bytes as a Base64 attribute value (libxml2's own Base64 writer).
bool WriteBase64Attr(void* writer, const char* name, const unsigned char* data, size_t size);

// Attribute of the reader's current element, if present.
std::optional<std::string> Attr(void* reader, const char* name);
// Decimal conversions of an attribute; nothing when absent. Integers are
// read as 64-bit values; callers narrow them.
std::optional<int64_t> IntAttr(void* reader, const char* name);
std::optional<double> DoubleAttr(void* reader, const char* name);

// Name of the current node compared ignoring case.
bool NameIs(void* reader, const char* name);
bool IsElement(void* reader);
bool IsEmptyElement(void* reader);

// Reads the content of the current element until its end tag, calling
// onElement for every element start inside it (at any depth). The callback
// may read the element's own content. Returns false when the document ended
// or broke before the end tag.
bool ReadContent(void* reader, const std::function<void(void* reader)>& onElement);

}  // namespace veldan::project::xml
