// The shooting path and its project-file form.
#include "VELDANPanorama/PanoramaModel.h"
#include "XmlIo.h"

using namespace veldan::project::xml;

VELDANPanoramaPathNode::VELDANPanoramaPathNode() = default;
VELDANPanoramaPathNode::VELDANPanoramaPathNode(const VELDANPanoramaPathNode& other)
    : CMemoryItem(), tile_nr(other.tile_nr) {}
VELDANPanoramaPathNode& VELDANPanoramaPathNode::operator=(const VELDANPanoramaPathNode& other) {
    tile_nr = other.tile_nr;
    return *this;
}
VELDANPanoramaPathNode::~VELDANPanoramaPathNode() = default;

bool VELDANPanoramaPathNode::Save(void* writer) {
    // Written with an unsigned format, as the file has always stored it.
    return WriteAttr(writer, "tile_nr", "%u", static_cast<uint32_t>(tile_nr));
}

bool VELDANPanoramaPathNode::Load(void* reader) {
    if (!reader) return false;
    if (auto v = IntAttr(reader, "tile_nr")) tile_nr = static_cast<int32_t>(static_cast<uint32_t>(*v));
    return true;
}

VELDANPanoramaPath::VELDANPanoramaPath() : CMemoryBlock(CreateMemoryItem<VELDANPanoramaPathNode>) {}
VELDANPanoramaPath::VELDANPanoramaPath(const VELDANPanoramaPath& other) : CMemoryBlock(other) {}
VELDANPanoramaPath& VELDANPanoramaPath::operator=(const VELDANPanoramaPath& other) {
    CMemoryBlock::operator=(other);
    return *this;
}
VELDANPanoramaPath::~VELDANPanoramaPath() = default;

void VELDANPanoramaPath::Append(int32_t tile_nr) {
    auto* node = new VELDANPanoramaPathNode();
    node->tile_nr = tile_nr;
    AddItem(node, GetItemCount(), true);
}

bool VELDANPanoramaPath::Save(void* writer) {
    const uint32_t n = GetItemCount();
    for (uint32_t i = 0; i < n; ++i) {
        auto* node = Node(i);
        if (!node) continue;
        if (!StartElement(writer, "PATH_NODE") || !node->Save(writer) || !EndElement(writer)) return false;
    }
    return true;
}

bool VELDANPanoramaPath::Load(void* reader) {
    if (!reader) return false;
    ReadContent(reader, [this](void* r) {
        if (!NameIs(r, "PATH_NODE")) return;
        auto* node = new VELDANPanoramaPathNode();
        node->Load(r);
        AddItem(node, GetItemCount(), true);
    });
    return true;
}
