// The control module: relays, battery voltage polling and its busy rule.
#include <cstring>

#include "DeviceText.h"
#include "Pelkor.h"

using Lock = std::lock_guard<veldan::platform::CriticalSection>;

namespace {
constexpr const char* kControlIdentities = "47.210-0400|47.210-2600";
constexpr uint32_t kVoltagePeriodMs = 1000;
constexpr uint8_t kRelayCount = 10;
}  // namespace

CPelkorDeviceControl::CPelkorDeviceControl() = default;

CPelkorDeviceControl::~CPelkorDeviceControl() { StopMonitorThread(); }

bool CPelkorDeviceControl::CompatibleDevice(const char* identity) {
    return MatchIdentityList(kControlIdentities, identity);
}

uint64_t CPelkorDeviceControl::GetDriverId() { return DriverIdControl; }

void CPelkorDeviceControl::MonitorRound(CPelkorDevice* device) {
    static_cast<CPelkorDeviceControl*>(device)->UpdateVoltage();
}

bool CPelkorDeviceControl::Init() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    bool ok = UpdateProperties();
    for (uint8_t relay = 0; relay < kRelayCount; ++relay) ok = SetRelayState(relay, false) && ok;
    return ok;
}

bool CPelkorDeviceControl::UpdateProperties() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    const bool ok = CPelkorDevice::UpdateProperties();
    StartMonitorThread(kVoltagePeriodMs, MonitorRound);
    return ok;
}

bool CPelkorDeviceControl::Reset() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ResetToIdle();
    SendCommand("R", true, true, false);
    return true;
}

bool CPelkorDeviceControl::Resume(MemBlockDesc* record) {
    Lock lock(stateLock);
    if (!CPelkorDevice::Resume(record)) return false;
    bool ok = true;
    for (uint8_t relay = 0; relay < kRelayCount; ++relay) ok = SetRelayState(relay, false) && ok;
    return ok;
}

bool CPelkorDeviceControl::GetStatusBusy() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    return sendQueue.GetItemCount() > 0 || postponedQueue.GetItemCount() > 0;
}

bool CPelkorDeviceControl::SetRelayState(uint8_t relay, bool on) { return SendRelayCommand(relay, on, relayStates); }

bool CPelkorDeviceControl::GetRelayState(uint8_t relay) {
    if (relay >= kRelayCount) return false;
    Lock lock(stateLock);
    return relayStates[relay];
}

bool CPelkorDeviceControl::UpdateVoltage() {
    CPelkorEnclosure* owner;
    {
        Lock lock(stateLock);
        if (!IsValid()) return false;
        owner = enclosure;
    }
    // The enclosure's busy test takes its device lock, which comes before
    // this device's lock: ask it without holding ours.
    if (owner && owner->IsBusy()) return true;
    Lock lock(stateLock);
    for (uint32_t i = 0; auto* p = static_cast<PelkorPacket*>(sendQueue.GetItem(i)); ++i) {
        if (p->PayloadStartsWith("x")) return true;
    }
    return SendCommand("x", false, false, true);
}

double CPelkorDeviceControl::GetVoltage() {
    Lock lock(stateLock);
    return voltage;
}

bool CPelkorDeviceControl::ProcessInput(PelkorPacket* packet) {
    Lock lock(stateLock);
    const std::string text = veldan::driver::PayloadText(*packet);
    if (text.empty()) {
        if (presenceEvent) presenceEvent->Pulse();
        return false;
    }
    if (text[0] != 'x') return CPelkorDevice::ProcessInput(packet);
    if (presenceEvent) presenceEvent->Pulse();
    int64_t value = 0;
    if (ParseSigned(text.c_str() + 1, value)) voltage = static_cast<double>(value) / 100.0;
    AnswerProcessed("x");
    if (enclosure) enclosure->NotifyDeviceState(busId, PELKOR_STATE_CHANGED);
    return true;
}

CPelkorDeviceCtrlDrv::CPelkorDeviceCtrlDrv() = default;

CPelkorDeviceCtrlDrv::~CPelkorDeviceCtrlDrv() { StopMonitorThread(); }

bool CPelkorDeviceCtrlDrv::CompatibleDevice(const char* identity) { return MatchIdentityList("05.640-5100", identity); }

uint64_t CPelkorDeviceCtrlDrv::GetDriverId() { return DriverIdCtrlDrv; }

bool CPelkorDeviceCtrlDrv::Init() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    bool ok = CPelkorDeviceDrive::UpdateProperties();
    ok = SendCommand("N", false, false, false) && ok;
    ok = SendCommand("p", false, false, true) && ok;
    commandedAngle = 0;
    positionSteps = 0;
    for (uint8_t relay = 0; relay < kRelayCount; ++relay) ok = SetRelayState(relay, relay == 9) && ok;
    return ok;
}

bool CPelkorDeviceCtrlDrv::SetRelayState(uint8_t relay, bool on) { return SendRelayCommand(relay, on, relayStates); }

bool CPelkorDeviceCtrlDrv::GetRelayState(uint8_t relay) {
    if (relay >= kRelayCount) return false;
    Lock lock(stateLock);
    return relayStates[relay];
}
