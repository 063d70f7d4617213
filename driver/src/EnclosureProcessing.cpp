// The enclosure's input and output threads and the handling of a received
// packet, including the exchange of a generic device for its class.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Pelkor.h"
#include "ThreadId.h"
#include "platform/Tick.h"

namespace {

constexpr uint64_t kNone = UINT64_MAX;
constexpr uint32_t kLongestWaitMs = 100;

}  // namespace

uint32_t CPelkorEnclosure::ProcessInput() {
    inputThreadId = veldan::driver::CurrentThreadId();
    while (ready.load()) {
        while (ready.load()) {
            PelkorPacket packet;
            if (!packet.StreamIn(&port.receiveQueue)) break;
            std::lock_guard<std::mutex> dispatch(dispatchLock);
            ProcessPacket(&packet);
        }
        port.lineEvent.Wait(kLongestWaitMs);
    }
    inputThreadId = 0;
    return 0;
}

bool CPelkorEnclosure::ProcessPacket(PelkorPacket* packet) {
    if (!PelkorPacket::IsValid(packet)) return false;
    packet->dueTime = PelkorPacket::GetCurrentTimestamp();
    LogPacket("==>\t", *packet);
    const uint8_t address = packet->busId;
    CPelkorDevice* device = FindDevice(address);
    if (device == nullptr) {
        device = static_cast<CPelkorDevice*>(devices.CreateItem(nullptr));
        if (device == nullptr) return false;
        device->RegisterDevice(this, address);
        if (!devices.AddItem(device, devices.GetItemCount())) {
            delete device;
            return false;
        }
    }
    device->ProcessPacket(packet);
    if (device->GetDriverId() == 0) {
        CPelkorDevice* replacement = CreateCompatibleDevice(device->GetStatusDeviceAlias());
        if (replacement && replacement->GetDriverId() != 0) {
            replacement->RegisterDevice(this, address);
            {
                std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
                devices.AddItem(replacement, devices.GetItemCount());
                replacement->Init();
                // The old device's commands go first, in their order.
                std::lock_guard<veldan::platform::CriticalSection> oldState(device->stateLock);
                std::lock_guard<veldan::platform::CriticalSection> newState(replacement->stateLock);
                replacement->ReplaceText(replacement->alias, device->alias);
                while (auto* p = device->postponedQueue.ExcludeItem(device->postponedQueue.GetItemCount() - 1))
                    replacement->postponedQueue.AddItem(p, 0u);
                while (auto* p = device->sendQueue.ExcludeItem(device->sendQueue.GetItemCount() - 1))
                    replacement->sendQueue.AddItem(p, 0u);
            }
            {
                std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
                if (devices.ExcludeItem(device)) delete device;
            }
            replacement->ProcessPacket(packet);
            NotifyDeviceState(address, PELKOR_STATE_RECOGNISED);
        } else {
            delete replacement;
        }
    }
    LogDevices();
    return true;
}

uint32_t CPelkorEnclosure::ProcessOutput() {
    outputThreadId = veldan::driver::CurrentThreadId();
    const uint64_t interval = packetRate >= 1 ? 60000u / static_cast<uint32_t>(packetRate) : 0;
    uint64_t lastSend = 0;
    uint32_t index = 0;
    while (ready.load()) {
        uint64_t nextWake = kNone;
        bool paced = false;
        bool sent;
        do {
            sent = false;
            for (; ready.load() && index < DeviceCount(); ++index) {
                const uint64_t now = PelkorPacket::GetCurrentTimestamp();
                if (interval != 0 && lastSend + interval > now) {
                    // Too early for the next frame: keep this device first.
                    nextWake = lastSend + interval;
                    paced = true;
                    break;
                }
                deviceLock.Enter();
                auto* device = static_cast<CPelkorDevice*>(devices.GetItem(index));
                if (device == nullptr) {
                    deviceLock.Leave();
                    continue;
                }
                device->LockState();
                PelkorPacket* packet = device->GetNextSendPacket();
                if (packet == nullptr) {
                    device->UnlockState();
                    deviceLock.Leave();
                    continue;
                }
                if (packet->dueTime > now) {
                    nextWake = std::min(nextWake, packet->dueTime);
                    device->UnlockState();
                    deviceLock.Leave();
                    continue;
                }
                const bool echoExpected = packet->expectEcho;
                const bool serialized = packet->serialize;
                // Reset before the frame can reach the line, so that an
                // echo processed right after it is not lost.
                if (echoExpected && serialized) stopEvent.Reset();
                if (!packet->StreamOut(&port.sendQueue)) {
                    device->UnlockState();
                    deviceLock.Leave();
                    continue;
                }
                PelkorPacket logged(*packet);
                lastSend = now;
                device->PacketSent(packet);  // deletes a packet without echo
                const uint64_t due = echoExpected ? packet->dueTime : 0;
                port.transmitEvent.Pulse();
                device->UnlockState();
                LogPacket("<==\t", logged);
                if (echoExpected) {
                    nextWake = std::min(nextWake, due);
                    if (serialized && due > now) {
                        deviceLock.Leave();
                        char line[64];
                        std::snprintf(line, sizeof line, "--- STOP --- Timeout: %dms\r\n", static_cast<int>(due - now));
                        LogText(line);
                        const bool came = stopEvent.Wait(static_cast<uint32_t>(due - now));
                        stopEvent.Reset();
                        LogText(came ? "--- RUN ---\r\n" : "--- TIMEOUT ---\r\n");
                        deviceLock.Enter();
                    }
                }
                LogDevices();
                sent = true;
                deviceLock.Leave();
            }
            if (!paced) index = 0;
        } while (sent && !paced && ready.load());
        if (!ready.load()) break;
        const uint64_t now = PelkorPacket::GetCurrentTimestamp();
        if (nextWake == kNone) {
            wakeEvent.Wait(kLongestWaitMs);
        } else if (nextWake > now) {
            wakeEvent.Wait(static_cast<uint32_t>(std::min<uint64_t>(nextWake - now, kLongestWaitMs)));
        }
    }
    outputThreadId = 0;
    return 0;
}

DynStream* CPelkorEnclosure::TrafficLog() {
    int32_t* level = logLevel.load();
    if (level == nullptr || std::abs(*level) != 3) return nullptr;
    DynStream** stream = logStream.load();
    if (stream == nullptr) return nullptr;
    return *stream;
}

void CPelkorEnclosure::LogText(const char* text) {
    DynStream* stream = TrafficLog();
    if (stream == nullptr) return;
    std::lock_guard<std::mutex> lock(logLock);
    dyn_fprintf(stream, "%s", text);
    dyn_fflush(stream);
}

void CPelkorEnclosure::LogPacket(const char* prefix, const PelkorPacket& packet) {
    DynStream* stream = TrafficLog();
    if (stream == nullptr) return;
    PelkorPacket copy(packet);
    std::lock_guard<std::mutex> lock(logLock);
    dyn_fprintf(stream, "%s", prefix);
    copy.LogToStream(stream);
    dyn_fflush(stream);
}

void CPelkorEnclosure::LogDevices() {
    DynStream* stream = TrafficLog();
    if (stream == nullptr) return;
    std::lock_guard<std::mutex> lock(logLock);
    for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i) {
        device->LogToStream(stream);
        dyn_fflush(stream);
    }
    dyn_fprintf(stream, "\r\n");
    dyn_fflush(stream);
}
