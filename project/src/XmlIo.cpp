// Attribute helpers over the libxml2 text writer and reader for the project
// file records.
#include "XmlIo.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace veldan::project::xml {

namespace {
const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }
}  // namespace

bool WriteAttr(void* writer, const char* name, const char* format, ...) {
    if (!writer) return false;
    va_list args;
    va_start(args, format);
    const int rc = xmlTextWriterWriteVFormatAttribute(Writer(writer), X(name), format, args);
    va_end(args);
    return rc >= 0;
}

bool StartElement(void* writer, const char* name) {
    return writer && xmlTextWriterStartElement(Writer(writer), X(name)) >= 0;
}

bool EndElement(void* writer) { return writer && xmlTextWriterEndElement(Writer(writer)) >= 0; }

bool WriteBase64Attr(void* writer, const char* name, const unsigned char* data, size_t size) {
    if (!writer || size > static_cast<size_t>(INT32_MAX)) return false;
    xmlTextWriterPtr w = Writer(writer);
    if (xmlTextWriterStartAttribute(w, X(name)) < 0) return false;
    if (size && xmlTextWriterWriteBase64(w, reinterpret_cast<const char*>(data), 0, static_cast<int>(size)) < 0)
        return false;
    return xmlTextWriterEndAttribute(w) >= 0;
}

std::optional<std::string> Attr(void* reader, const char* name) {
    if (!reader) return std::nullopt;
    xmlTextReaderPtr r = Reader(reader);
    // Reads the value in place instead of a heap copy; the reader goes back
    // to the element afterwards.
    if (xmlTextReaderMoveToAttribute(r, X(name)) != 1) return std::nullopt;
    const xmlChar* value = xmlTextReaderConstValue(r);
    std::optional<std::string> s;
    if (value) s.emplace(reinterpret_cast<const char*>(value));
    xmlTextReaderMoveToElement(r);
    return s;
}

std::optional<int64_t> IntAttr(void* reader, const char* name) {
    auto s = Attr(reader, name);
    if (!s) return std::nullopt;
    // Decimal text-to-integer conversion: leading digits count, anything
    // unreadable is 0; out-of-range values saturate.
    return static_cast<int64_t>(std::strtoll(s->c_str(), nullptr, 10));
}

std::optional<double> DoubleAttr(void* reader, const char* name) {
    auto s = Attr(reader, name);
    if (!s) return std::nullopt;
    return std::strtod(s->c_str(), nullptr);
}

bool NameIs(void* reader, const char* name) {
    if (!reader) return false;
    const xmlChar* n = xmlTextReaderConstName(Reader(reader));
    return n && xmlStrcasecmp(n, X(name)) == 0;
}

bool IsElement(void* reader) { return reader && xmlTextReaderNodeType(Reader(reader)) == XML_READER_TYPE_ELEMENT; }

bool IsEmptyElement(void* reader) { return reader && xmlTextReaderIsEmptyElement(Reader(reader)) == 1; }

bool ReadContent(void* reader, const std::function<void(void*)>& onElement) {
    if (!reader) return false;
    xmlTextReaderPtr r = Reader(reader);
    if (xmlTextReaderIsEmptyElement(r) == 1) return true;
    const int depth = xmlTextReaderDepth(r);
    for (;;) {
        if (xmlTextReaderRead(r) != 1) return false;
        const int type = xmlTextReaderNodeType(r);
        if (type == XML_READER_TYPE_END_ELEMENT && xmlTextReaderDepth(r) <= depth) return true;
        if (type == XML_READER_TYPE_ELEMENT) onElement(reader);
    }
}

}  // namespace veldan::project::xml
