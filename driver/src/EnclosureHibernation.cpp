// Saving and restoring the whole bus, so that a hibernated head need not be
// homed again.
//
// Record (numbers in MemBlockDesc encoding): the magic text with its zero
// (36 bytes), version uint32 0x00020200, device count uint8; per device its
// bus address uint8, identity length uint16 (text length + 1, or 0 for a
// device that never told its identity, which then has nothing more), the
// identity with its zero, device record length uint32 and the record.
#include <cstring>

#include <algorithm>
#include <string>

#include "Pelkor.h"
#include "ThreadId.h"

namespace {

constexpr char kMagic[] = "KAMBRE_VELDAN_ENCLOSURE_HIBERNATION";
static_assert(sizeof kMagic == 36);
constexpr uint32_t kVersion = 0x00020200;

}  // namespace

bool CPelkorEnclosure::Hibernate(MemBlockDesc* record) {
    if (record == nullptr) return false;
    std::lock_guard<std::mutex> life(lifecycleLock);
    if (!ready.load()) return false;
    MemBlockDesc bus;
    bus.Add(kMagic, sizeof kMagic);
    bus.Add(kVersion);
    {
        std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
        const uint32_t count = std::min<uint32_t>(devices.GetItemCount(), 255);
        bus.Add(static_cast<uint8_t>(count));
        for (uint32_t i = 0; i < count; ++i) {
            auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i));
            bus.Add(static_cast<uint8_t>(device->GetStatusDeviceID()));
            const char* identity = device->GetStatusDeviceAlias();
            const size_t length = identity ? std::strlen(identity) : 0;
            if (identity == nullptr || length + 1 > UINT16_MAX) {
                bus.Add(static_cast<uint16_t>(0));
                continue;
            }
            bus.Add(static_cast<uint16_t>(length + 1));
            bus.Add(identity);
            MemBlockDesc own;
            device->Hibernate(&own);
            bus.Add(static_cast<uint32_t>(own.length));
            if (own.length != 0) bus.AddPart(own);
        }
    }
    // Only a complete record is handed out.
    const bool stored = record->AddPart(bus);
    DeInitLocked();
    return stored;
}

bool CPelkorEnclosure::Resume(uint8_t comNumber, MemBlockDesc* record) {
    if (record == nullptr) return false;
    size_t position = 0;
    char magic[sizeof kMagic];
    if (!record->Read(position, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic - 1) != 0)
        return false;
    uint32_t version = 0;
    if (!record->Get(position, version) || version != kVersion) return false;
    if (autoInitThreadId.load() != veldan::driver::CurrentThreadId()) StopAutoInit();
    std::lock_guard<std::mutex> life(lifecycleLock);
    DeInitLocked();
    if (!port.Init(comNumber)) return false;
    const bool savedSimultaneous = simultaneous.load();
    simultaneous = false;
    bool ok = true;
    uint8_t count = 0;
    if (!record->Get(position, count)) ok = false;
    {
        std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
        for (uint32_t i = 0; ok && i < count; ++i) {
            uint8_t address = 0;
            uint16_t length = 0;
            if (!record->Get(position, address) || !record->Get(position, length)) {
                ok = false;
                break;
            }
            if (length == 0) continue;
            // The identity must be exactly length bytes with its zero last.
            if (record->Remaining(position) < length || record->data[position + length - 1] != 0) {
                ok = false;
                break;
            }
            const std::string identity(reinterpret_cast<const char*>(record->data + position), length - 1u);
            position += length;
            CPelkorDevice* device = CreateCompatibleDevice(identity.c_str());
            if (device == nullptr) {
                ok = false;
                break;
            }
            device->RegisterDevice(this, static_cast<uint8_t>(address & 0x1F));
            {
                std::lock_guard<veldan::platform::CriticalSection> state(device->stateLock);
                device->ReplaceText(device->alias, identity.c_str());
            }
            if (!devices.AddItem(device, devices.GetItemCount())) {
                delete device;
                ok = false;
                break;
            }
            uint32_t recordLength = 0;
            if (!record->Get(position, recordLength) || record->Remaining(position) < recordLength) {
                ok = false;
                break;
            }
            MemBlockDesc own(record->data + position, recordLength);
            position += recordLength;
            if (!device->Resume(&own)) {
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        DeInitLocked();
        simultaneous = savedSimultaneous;
        return false;
    }
    ready = true;
    StartProcessing();
    NotifyDeviceState(PELKOR_WHOLE_BUS, PELKOR_STATE_CHANGED);
    simultaneous = savedSimultaneous;
    return true;
}
