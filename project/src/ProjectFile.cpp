// The project document: writing it with the libxml2 text writer into a
// memory buffer and reading it with the text reader over memory.
#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "VELDANPanorama/PanoramaProject.h"
#include "XmlIo.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

using namespace veldan::project::xml;

namespace {

// Save and Load end with xmlCleanupParser, which resets libxml2's global
// state; no other libxml2 use may run meanwhile, so they run one at a time.
std::mutex& XmlLibraryLock() {
    static std::mutex lock;
    return lock;
}

// Leaves the tile list's changing state on every way out.
class ChangingScope {
public:
    explicit ChangingScope(CMemoryBlock& list) : list_(list) { list_.GoChanging(); }
    ~ChangingScope() { list_.LeaveChanging(); }
    ChangingScope(const ChangingScope&) = delete;
    ChangingScope& operator=(const ChangingScope&) = delete;

private:
    CMemoryBlock& list_;
};

bool WriteMetaChild(void* writer, const char* name, auto& record) {
    return StartElement(writer, name) && record.Save(writer) && EndElement(writer);
}

// Project files are far below this; a larger file is refused rather than
// read into memory.
constexpr std::uintmax_t kMaxProjectFileSize = 1ull << 30;

}  // namespace

bool VELDANPanoramaProject::SaveMetaInformation(void* writer) {
    return description.Save(writer, "description") && project_path.Save(writer, "project_path") &&
           WriteMetaChild(writer, "capture_time", capture_time) &&
           WriteMetaChild(writer, "modification_time", modification_time) && WriteMetaChild(writer, "lens", lens) &&
           WriteMetaChild(writer, "camera", camera) && WriteMetaChild(writer, "sensor", sensor) &&
           WriteMetaChild(writer, "fov", fov) && WriteMetaChild(writer, "hdri", hdri) &&
           WriteMetaChild(writer, "options", options);
}

bool VELDANPanoramaProject::LoadMetaInformation(void* reader) {
    if (!NameIs(reader, "META")) return false;
    description.Load(reader, "description");
    project_path.Load(reader, "project_path");
    ReadContent(reader, [this](void* r) {
        if (NameIs(r, "capture_time"))
            capture_time.Load(r);
        else if (NameIs(r, "modification_time"))
            modification_time.Load(r);
        else if (NameIs(r, "lens"))
            lens.Load(r);
        else if (NameIs(r, "camera"))
            camera.Load(r);
        else if (NameIs(r, "sensor"))
            sensor.Load(r);
        else if (NameIs(r, "fov"))
            fov.Load(r);
        else if (NameIs(r, "hdri"))
            hdri.Load(r);
        else if (NameIs(r, "options"))
            options.Load(r);
    });
    return true;
}

bool VELDANPanoramaProject::Save(MemBlockDesc* buffer) {
    if (!buffer) return false;
    modification_time.SetCurrentTime();

    std::lock_guard library(XmlLibraryLock());
    xmlInitParser();
    bool ok = false;
    xmlBufferPtr xml = xmlBufferCreate();
    xmlTextWriterPtr writer = xml ? xmlNewTextWriterMemory(xml, 0) : nullptr;
    if (writer) {
        void* w = writer;
        ok = xmlTextWriterStartDocument(writer, nullptr, "UTF-8", nullptr) >= 0 &&
             StartElement(w, "VELDAN_PANORAMA_PROJECT") && WriteAttr(w, "rev", "1") && StartElement(w, "META") &&
             SaveMetaInformation(w) && EndElement(w);
        if (ok) {
            ChangingScope changing(*this);
            const uint32_t n = GetItemCount();
            for (uint32_t i = 0; ok && i < n; ++i) {
                auto* tile = static_cast<VELDANPanoramaTile*>(GetItem(i, false));
                if (!tile) continue;
                ok = StartElement(w, "TILE") && tile->Save(w) && EndElement(w);
            }
        }
        ok = ok && StartElement(w, "PATH") && path.Save(w) && EndElement(w) && EndElement(w) &&
             xmlTextWriterEndDocument(writer) >= 0;
        // Releasing the writer flushes what it still holds into the buffer.
        xmlFreeTextWriter(writer);
    }
    if (ok && xml) {
        const int length = xmlBufferLength(xml);
        if (length > 0)
            buffer->Add(xmlBufferContent(xml), static_cast<uint32_t>(length));
        else
            ok = false;
    }
    if (xml) xmlBufferFree(xml);
    xmlCleanupParser();
    return ok;
}

bool VELDANPanoramaProject::Load(MemBlockDesc* buffer) {
    if (!buffer) return false;
    const char* data = reinterpret_cast<const char*>(buffer->data);
    const size_t size = buffer->length;
    if (!data || size == 0 || size > static_cast<size_t>(INT_MAX)) return false;

    std::lock_guard library(XmlLibraryLock());
    xmlInitParser();
    // No network access, no external entities or DTDs, no entity
    // substitution; errors are reported through the results, not stderr.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlTextReaderPtr reader = xmlReaderForMemory(data, static_cast<int>(size), nullptr, nullptr, options);
    if (!reader) {
        xmlCleanupParser();
        return false;
    }
    void* r = reader;
    bool found = false;
    for (;;) {
        if (xmlTextReaderRead(reader) != 1) break;
        const int type = xmlTextReaderNodeType(reader);
        // A project document has no document type declaration; one that
        // brings a DTD (and with it entity definitions) is refused.
        if (type == XML_READER_TYPE_DOCUMENT_TYPE) break;
        if (type == XML_READER_TYPE_ELEMENT && NameIs(r, "VELDAN_PANORAMA_PROJECT")) {
            found = true;
            break;
        }
    }
    if (found) {
        ReadContent(r, [this](void* rd) {
            if (NameIs(rd, "META")) {
                LoadMetaInformation(rd);
            } else if (NameIs(rd, "PATH")) {
                path.Load(rd);
            } else if (NameIs(rd, "TILE")) {
                auto* tile = new VELDANPanoramaTile();
                tile->Load(rd);
                AddItem(tile, GetItemCount(), true);
            }
        });
    }
    xmlFreeTextReader(reader);
    xmlCleanupParser();
    return found;
}

void* VELDANPanoramaProject::DecodeBase64(char* text, uint32_t& length) {
    length = 0;
    if (!text || !*text) return nullptr;
    constexpr unsigned char kSkip = 0xFF;
    size_t n = 0;
    char* end = text;
    for (; *end && *end != '='; ++end) {
        const char c = *end;
        unsigned char v;
        if (c >= 'A' && c <= 'Z')
            v = static_cast<unsigned char>(c - 'A');
        else if (c >= 'a' && c <= 'z')
            v = static_cast<unsigned char>(c - 'a' + 26);
        else if (c >= '0' && c <= '9')
            v = static_cast<unsigned char>(c - '0' + 52);
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else if (c == '.')
            v = 0;
        else
            v = kSkip;
        *end = static_cast<char>(v);
        if (v != kSkip) ++n;
    }
    if (n == 0 || n * 3 / 4 == 0 || n * 3 / 4 > UINT32_MAX) return nullptr;
    const size_t size = n * 3 / 4;
    auto* out = static_cast<unsigned char*>(std::malloc(size));
    if (!out) return nullptr;
    size_t o = 0;
    unsigned char group[4];
    size_t g = 0;
    auto emit = [&](unsigned char b) {
        if (o < size) out[o++] = b;
    };
    for (char* p = text; p != end; ++p) {
        const auto v = static_cast<unsigned char>(*p);
        if (v == kSkip) continue;
        group[g++] = v;
        if (g == 4) {
            emit(static_cast<unsigned char>(group[0] << 2 | group[1] >> 4));
            emit(static_cast<unsigned char>(group[1] << 4 | group[2] >> 2));
            emit(static_cast<unsigned char>(group[2] << 6 | group[3]));
            g = 0;
        }
    }
    if (g >= 2) emit(static_cast<unsigned char>(group[0] << 2 | group[1] >> 4));
    if (g >= 3) emit(static_cast<unsigned char>(group[1] << 4 | group[2] >> 2));
    length = static_cast<uint32_t>(size);
    return out;
}

bool VELDANPanoramaProject::SaveToFile(const wchar_t* file_name) {
    if (!file_name) return false;
    MemBlockDesc buffer;
    if (!Save(&buffer)) return false;
    return veldan::platform::WriteFileAtomically(veldan::platform::PathFromWide(file_name), buffer.data, buffer.length);
}

bool VELDANPanoramaProject::LoadFromFile(const wchar_t* file_name) {
    if (!file_name) return false;
    const auto file = veldan::platform::PathFromWide(file_name);
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size == 0 || size > kMaxProjectFileSize) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes(size);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return false;
    MemBlockDesc buffer;
    buffer.Create(bytes.data(), static_cast<uint32_t>(size));
    return Load(&buffer);
}
