// The device base: queues, submission rules, echo and answer matching, the
// answers every module gives, presence probe and life-cycle commands.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "DeviceText.h"
#include "Pelkor.h"
#include "PelkorMonitor.h"

using Lock = std::lock_guard<veldan::platform::CriticalSection>;

namespace {

PelkorPacket* PacketAt(const CMemoryBlock& list, uint32_t index) {
    return static_cast<PelkorPacket*>(list.GetItem(index));
}

}  // namespace

CPelkorDevice::CPelkorDevice()
    : constraints(CreateMemoryItem<CConstraint>),
      busyMarker(PelkorPacket::GetCurrentTimestamp()),
      postponedQueue(CreateMemoryItem<PelkorPacket>),
      sendQueue(CreateMemoryItem<PelkorPacket>),
      monitor(std::make_unique<veldan::driver::PelkorMonitor>()) {}

CPelkorDevice::~CPelkorDevice() {
    // A derived class has stopped its polling thread already; this catches
    // a thread started on a generic device.
    monitor->Stop();
    Lock lock(stateLock);
    if (presenceEvent) presenceEvent->Pulse();
    ready = false;
    enclosure = nullptr;
    busId = 0;
    std::free(alias);
    std::free(manufacturer);
    alias = manufacturer = nullptr;
    for (char* text : retiredTexts) std::free(text);
    retiredTexts.clear();
    ClearQueues();
    constraints.DeleteAllItems();
}

bool CPelkorDevice::IsReady() {
    Lock lock(stateLock);
    return IsValid() && ready.load();
}

int32_t CPelkorDevice::GetProgress() {
    Lock lock(stateLock);
    return IsValid() ? progress : -1;
}

bool CPelkorDevice::RegisterDevice(CPelkorEnclosure* owner, uint8_t address) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    enclosure = owner;
    busId = address;
    ready = true;
    return true;
}

bool CPelkorDevice::DeRegisterDevice() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    enclosure = nullptr;
    busId = 0;
    ready = false;
    return true;
}

bool CPelkorDevice::Hibernate(MemBlockDesc* record) {
    Lock lock(stateLock);
    return record != nullptr && IsValid() && ready.load();
}

bool CPelkorDevice::Resume(MemBlockDesc* record) {
    Lock lock(stateLock);
    if (record == nullptr || !IsValid() || !ready.load()) return false;
    ClearQueues();
    SendCommand("R", false, true, false);
    EnableEcho();
    UpdateProperties();
    return true;
}

bool CPelkorDevice::ProcessPacket(PelkorPacket* received) {
    if (!PelkorPacket::IsValid(received)) return false;
    Lock lock(stateLock);
    if (!IsValid()) return false;
    PelkorPacket* head = PacketAt(sendQueue, 0);
    if (head && *head == *received) {
        // The echo of the head command.
        if (head->awaitAnswer) {
            head->expectEcho = false;
            head->sendCount = 1;
            if (head->setsBusy) busyMarker = received->dueTime;
            return true;
        }
        const bool wasSerialized = head->serialize;
        const bool wasBusy = head->setsBusy;
        sendQueue.DeleteItem(head);
        if (wasSerialized && enclosure) enclosure->StopEvent().Set();
        if (wasBusy) busyMarker = received->dueTime;
        if (sendQueue.GetItemCount() > 0 && enclosure) enclosure->WakeEvent().Pulse();
        return true;
    }
    return ProcessInput(received);
}

PelkorPacket* CPelkorDevice::GetNextSendPacket() {
    Lock lock(stateLock);
    if (!IsValid() || sendQueue.GetItemCount() == 0) return nullptr;
    CompressSendQ();
    PelkorPacket* head = PacketAt(sendQueue, 0);
    if (head == nullptr) return nullptr;
    // A query whose echo has come waits for its answer and blocks the queue.
    if (head->awaitAnswer && !head->expectEcho && head->sendCount >= 1) return nullptr;
    return head;
}

bool CPelkorDevice::PacketSent(PelkorPacket* packet) {
    Lock lock(stateLock);
    if (!IsValid() || !PelkorPacket::IsValid(packet)) return false;
    if (packet->expectEcho) {
        packet->SetTimestamp();
        packet->sendCount++;
    } else {
        sendQueue.DeleteItem(packet);
    }
    return true;
}

bool CPelkorDevice::IsPresent(uint32_t milliseconds) {
    std::unique_ptr<veldan::platform::Event> event;
    {
        Lock lock(stateLock);
        if (!IsValid() || !ready.load()) return false;
        const bool savedEcho = echo;
        echo = false;
        busyMarker = PelkorPacket::GetCurrentTimestamp();
        event = std::make_unique<veldan::platform::Event>(false);
        presenceEvent = event.get();
        SendCommand("R", false, true, false);
        echo = savedEcho;
    }
    const bool answered = event->Wait(milliseconds);
    Lock lock(stateLock);
    presenceEvent = nullptr;
    return answered;
}

uint64_t CPelkorDevice::GetDriverId() { return 0; }

void CPelkorDevice::ResetToIdle() {
    ClearQueues();
    ready = false;
    progress = -1;
    busy = false;
    error = false;
    echo = true;
    ready = true;
}

bool CPelkorDevice::SendRelayCommand(uint8_t relay, bool on, bool (&states)[10]) {
    if (relay >= std::size(states)) return false;
    Lock lock(stateLock);
    if (!IsValid()) return false;
    const char command[4] = {'L', static_cast<char>('0' + relay), on ? '1' : '0', 0};
    if (!SendCommand(command, false, false, false)) return false;
    states[relay] = on;
    return true;
}

bool CPelkorDevice::Reset() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ResetToIdle();
    SendCommand("w", false, true, true);
    return false;
}

bool CPelkorDevice::Init() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    return UpdateProperties();
}

bool CPelkorDevice::Purge() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    return Abort();
}

bool CPelkorDevice::Abort() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    const bool savedEcho = echo;
    echo = false;
    const bool ok = SendCommand("R", false, true, false);
    echo = savedEcho;
    return ok;
}

bool CPelkorDevice::EnableEcho() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (echo) return true;
    echo = true;
    if (!SendCommand("E", 1, 1, false, false, true, false)) {
        echo = false;
        return false;
    }
    return true;
}

bool CPelkorDevice::DisableEcho() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (!echo) return true;
    echo = false;
    if (!SendCommand("E", 0, 1, false, false, true, false)) {
        echo = true;
        return false;
    }
    return true;
}

bool CPelkorDevice::UpdateProperties() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    const bool m = SendCommand("m", false, false, true);
    const bool w = SendCommand("w", false, false, true);
    const bool v = SendCommand("v", false, false, true);
    return m && w && v;
}

bool CPelkorDevice::GetStatusBusy() {
    Lock lock(stateLock);
    return IsValid() && busy.load();
}

bool CPelkorDevice::UpdateStatusBusy() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    for (uint32_t i = 0; PelkorPacket* p = PacketAt(sendQueue, i); ++i) {
        if (p->PayloadStartsWith("b")) return true;
    }
    return SendCommand("b", false, true, false);
}

bool CPelkorDevice::GetStatusError() {
    Lock lock(stateLock);
    return IsValid() && error;
}

uint16_t CPelkorDevice::GetStatusVersion() {
    Lock lock(stateLock);
    return IsValid() ? version : 0;
}

uint8_t CPelkorDevice::GetStatusDeviceID() {
    Lock lock(stateLock);
    return IsValid() ? busId : 0;
}

const char* CPelkorDevice::GetStatusDeviceAlias() {
    Lock lock(stateLock);
    return IsValid() ? alias : nullptr;
}

const char* CPelkorDevice::GetStatusManufacturer() {
    Lock lock(stateLock);
    return IsValid() ? manufacturer : nullptr;
}

bool CPelkorDevice::LogToStream(DynStream* stream) {
    if (!IsValid() || stream == nullptr) return false;
    Lock lock(stateLock);
    char state[5] = {busy ? 'B' : ' ', ready ? 'R' : ' ', echo ? 'E' : ' ', error ? 'F' : ' ', 0};
    dyn_fprintf(stream, "*****\tID%02d[%" PRIx64 "]\t[%s]\r\n", static_cast<int>(busId), GetDriverId(), state);
    for (uint32_t i = 0; PelkorPacket* p = PacketAt(sendQueue, i); ++i) {
        dyn_fprintf(stream, "*S*%02d*\t", static_cast<int>(busId));
        p->LogToStream(stream);
    }
    for (uint32_t i = 0; PelkorPacket* p = PacketAt(postponedQueue, i); ++i) {
        dyn_fprintf(stream, "*P*%02d*\t", static_cast<int>(busId));
        p->LogToStream(stream);
    }
    return true;
}

bool CPelkorDevice::SetConstraint(uint64_t identifier, const void* data, uint32_t size) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (size != 0 && data == nullptr) return false;
    ClearConstraint(identifier);
    auto* constraint = new CConstraint();
    constraint->identifier = identifier;
    if (size > 0) constraint->data.Create(data, size);
    if (!constraints.AddItem(constraint, 0u)) {
        delete constraint;
        return false;
    }
    return true;
}

bool CPelkorDevice::GetConstraint(uint64_t identifier, void* out, uint32_t size) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    for (uint32_t i = 0; auto* c = static_cast<CConstraint*>(constraints.GetItem(i)); ++i) {
        if (c->identifier != identifier) continue;
        if (size != c->data.length) return false;
        if (size > 0) {
            if (out == nullptr) return false;
            std::memcpy(out, c->data.data, size);
        }
        return true;
    }
    return false;
}

bool CPelkorDevice::ClearConstraint(uint64_t identifier) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    bool removed = false;
    for (uint32_t i = 0; auto* c = static_cast<CConstraint*>(constraints.GetItem(i));) {
        if (c->identifier == identifier) {
            constraints.DeleteItem(i);
            removed = true;
        } else {
            ++i;
        }
    }
    return removed;
}

bool CPelkorDevice::HasConstraint(uint64_t identifier) {
    Lock lock(stateLock);
    for (uint32_t i = 0; auto* c = static_cast<CConstraint*>(constraints.GetItem(i)); ++i)
        if (c->identifier == identifier) return true;
    return false;
}

bool CPelkorDevice::CompatibleDevice(const char*) { return false; }

std::vector<std::string> CPelkorDevice::QueuedCommands(bool postponed) {
    Lock lock(stateLock);
    std::vector<std::string> texts;
    const CMemoryBlock& list = postponed ? postponedQueue : sendQueue;
    for (uint32_t i = 0; PelkorPacket* p = PacketAt(list, i); ++i) texts.push_back(veldan::driver::PayloadText(*p));
    return texts;
}

bool CPelkorDevice::EchoEnabled() {
    Lock lock(stateLock);
    return echo;
}

void CPelkorDevice::StopMonitorThread() { monitor->Stop(); }

void CPelkorDevice::SetBusy() {
    busy = true;
    NotifyState(PELKOR_STATE_BUSY);
}

void CPelkorDevice::ClearBusy() {
    Lock lock(stateLock);
    progress = -1;
    busy = false;
    NotifyState(PELKOR_STATE_BUSY);
    // Release the postponed commands until one of them makes the device busy.
    while (postponedQueue.GetItemCount() > 0 && !busy.load()) {
        auto* packet = static_cast<PelkorPacket*>(postponedQueue.ExcludeItem(0u));
        if (packet == nullptr) break;
        packet->immediate = true;
        SendCommand(packet);
    }
}

void CPelkorDevice::SetProgress(uint32_t value) {
    const int32_t v = static_cast<int32_t>(value);
    progress = (v >= -1 && v <= 1000) ? v : -1;
    NotifyState(PELKOR_STATE_CHANGED);
}

bool CPelkorDevice::ProcessInput(PelkorPacket* packet) {
    Lock lock(stateLock);
    if (presenceEvent) presenceEvent->Pulse();
    const std::string text = veldan::driver::PayloadText(*packet);
    if (text.empty()) return false;
    const char letter = text[0];
    const std::string value = text.substr(1);
    switch (letter) {
        case 'b':
            if (value.size() == 1) {
                if (busyMarker == 0 || packet->dueTime < busyMarker) break;
                if (value[0] == '0') {
                    error = false;
                    ClearBusy();
                } else if (value[0] == '1') {
                    error = false;
                    SetBusy();
                } else if (value[0] == '9') {
                    error = true;
                    ClearBusy();
                }
            }
            break;
        case 'e':
            if (value.size() == 1) {
                if (value[0] == '0') echo = false;
                if (value[0] == '1') echo = true;
                NotifyStateChanged();
            }
            break;
        case 'm':
            AnswerProcessed("m");
            ReplaceText(manufacturer, value.empty() ? nullptr : value.c_str());
            NotifyStateChanged();
            break;
        case 'v':
            AnswerProcessed("v");
            if (value.size() == 5) {
                auto d = [&](size_t k) { return static_cast<uint16_t>(value[k] & 15); };
                version = static_cast<uint16_t>((d(0) * 10 + d(1)) * 256 + (d(3) * 10 + d(4)));
                NotifyStateChanged();
            }
            break;
        case 'w':
            AnswerProcessed("w");
            ReplaceText(alias, value.empty() ? nullptr : value.c_str());
            NotifyStateChanged();
            break;
        default: break;
    }
    return true;
}

bool CPelkorDevice::SendCommand(const char* prefix, int64_t value, uint16_t width, bool isSigned, bool setsBusy,
                                bool immediate, bool awaitAnswer) {
    const std::string text = veldan::driver::FormatNumberCommand(prefix, value, width, isSigned);
    return SendCommand(text.c_str(), setsBusy, immediate, awaitAnswer);
}

bool CPelkorDevice::SendCommand(const char* text, bool setsBusy, bool immediate, bool awaitAnswer) {
    // An empty frame cannot be sent and would block the queue for good.
    if (text == nullptr || *text == 0) return false;
    Lock lock(stateLock);
    auto* packet = new PelkorPacket();
    packet->kind = PELKOR_KIND_COMMAND;
    packet->busId = busId;
    packet->SetPayload(text);
    packet->setsBusy = setsBusy;
    packet->immediate = immediate;
    packet->awaitAnswer = awaitAnswer;
    packet->expectEcho = echo;
    packet->serialize = !(enclosure && enclosure->GetSimultaneousFlag());
    return SendCommand(packet);
}

bool CPelkorDevice::SendCommand(PelkorPacket* packet) {
    if (!PelkorPacket::IsValid(packet)) return false;
    Lock lock(stateLock);
    if (!IsValid() || !ready.load()) {
        delete packet;
        return false;
    }
    if (!packet->immediate && (postponedQueue.GetItemCount() > 0 || busy.load())) {
        if (!postponedQueue.AddItem(packet, postponedQueue.GetItemCount())) {
            delete packet;
            return false;
        }
        return true;
    }
    if (packet->setsBusy) {
        SetBusy();
        busyMarker = packet->expectEcho ? 0 : 1;
    }
    if (!sendQueue.AddItem(packet, sendQueue.GetItemCount())) {
        delete packet;
        return false;
    }
    CompressSendQ();
    if (enclosure) enclosure->WakeEvent().Pulse();
    return true;
}

bool CPelkorDevice::CompressSendQ() {
    Lock lock(stateLock);
    uint32_t i = 0;
    while (PelkorPacket* earlier = PacketAt(sendQueue, i)) {
        PelkorPacket* later = PacketAt(sendQueue, i + 1);
        if (later == nullptr) break;
        if (*later == *earlier) {
            sendQueue.DeleteItem(later);
        } else {
            ++i;
        }
    }
    return true;
}

bool CPelkorDevice::AnswerProcessed(const char* letter) {
    Lock lock(stateLock);
    PelkorPacket* head = PacketAt(sendQueue, 0);
    if (head == nullptr || !head->awaitAnswer) return true;
    if (letter && head->PayloadLength() >= std::strlen(letter) && !head->PayloadStartsWith(letter)) return true;
    const bool wasSerialized = head->serialize;
    sendQueue.DeleteItem(head);
    if (wasSerialized && enclosure) enclosure->StopEvent().Set();
    if (sendQueue.GetItemCount() > 0 && enclosure) enclosure->WakeEvent().Pulse();
    return true;
}

void CPelkorDevice::NotifyStateChanged() { NotifyState(PELKOR_STATE_CHANGED); }

void CPelkorDevice::NotifyState(int32_t code) {
    if (enclosure && ready.load()) enclosure->NotifyDeviceState(busId, code);
}

void CPelkorDevice::ClearQueues() {
    Lock lock(stateLock);
    postponedQueue.DeleteAllItems();
    sendQueue.DeleteAllItems();
}

void CPelkorDevice::StartMonitorThread(uint32_t periodMs, void (*body)(CPelkorDevice*)) {
    monitor->Start(this, periodMs, body);
}

bool CPelkorDevice::MonitorRunning() { return monitor->Running(); }

void CPelkorDevice::ReplaceText(char*& field, const char* value) {
    if (field && value && std::strcmp(field, value) == 0) return;
    if (field) retiredTexts.push_back(field);
    field = value ? strdup(value) : nullptr;
}

bool CPelkorDevice::MatchIdentityList(const char* list, const char* identity) {
    if (list == nullptr || identity == nullptr) return false;
    const std::string entries = list;
    size_t start = 0;
    for (;;) {
        const size_t bar = entries.find('|', start);
        const std::string entry = entries.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (bar == std::string::npos) return entry == identity;
        if (std::strncmp(identity, entry.c_str(), entry.size()) == 0) return true;
        start = bar + 1;
    }
}

bool CPelkorDevice::ParseSigned(const char* text, int64_t& value) {
    if (text == nullptr) return false;
    const char* p = text;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude > (UINT64_MAX - 9) / 10) return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}
