// The enclosure: life cycle of the bus, probing, device access, busy test,
// automatic initialisation and notifications.
#include <cstdlib>

#include "Pelkor.h"
#include "ThreadId.h"
#include "platform/Tick.h"

namespace {

constexpr uint32_t kMaxBusId = 31;

CMemoryItem* CreateGenericDevice(const CMemoryItem* source) { return source ? nullptr : new CPelkorDevice(); }

}  // namespace

CPelkorEnclosure::CPelkorEnclosure() : devices(CreateGenericDevice) { port.enclosure = this; }

CPelkorEnclosure::~CPelkorEnclosure() {
    StopAutoInit();
    DeInit();
    port.enclosure = nullptr;
}

bool CPelkorEnclosure::IsReady() { return ready.load(); }

uint8_t CPelkorEnclosure::GetCOM_nr() { return ready.load() ? port.GetCOM_nr() : 255; }

bool CPelkorEnclosure::SetMaxDeviceID(uint8_t maxId) {
    if (ready.load()) return false;
    maxDeviceId = maxId > kMaxBusId ? kMaxBusId : maxId;
    return true;
}

bool CPelkorEnclosure::SetSimultaneousFlag(bool value) {
    if (ready.load()) return false;
    simultaneous = value;
    return true;
}

bool CPelkorEnclosure::GetSimultaneousFlag() { return simultaneous.load(); }

bool CPelkorEnclosure::SetPacketRate(int32_t packetsPerMinute) {
    if (ready.load()) return false;
    packetRate = packetsPerMinute;
    return true;
}

int32_t CPelkorEnclosure::GetPacketRate() { return packetRate; }

uint32_t CPelkorEnclosure::ProbeTimeout() const {
    return packetRate >= 1 ? 500u + 500000u / static_cast<uint32_t>(packetRate) : 500u;
}

bool CPelkorEnclosure::StartProcessing() {
    if (!inputThread.joinable()) inputThread = std::thread([this] { ProcessInput(); });
    if (!outputThread.joinable()) outputThread = std::thread([this] { ProcessOutput(); });
    while (inputThreadId.load() == 0 || outputThreadId.load() == 0) {
        if (!ready.load()) break;
        veldan::platform::Sleep(1);
    }
    return true;
}

void CPelkorEnclosure::StopProcessing() {
    ready = false;
    wakeEvent.Set();
    stopEvent.Set();
    port.lineEvent.Pulse();
    if (inputThread.joinable()) inputThread.join();
    if (outputThread.joinable()) outputThread.join();
    inputThreadId = 0;
    outputThreadId = 0;
}

void CPelkorEnclosure::DeleteAllDevices() {
    // Polling threads end first, without any lock held, so that none of them
    // waits for a lock while its device is being destroyed.
    for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i)
        device->StopMonitorThread();
    std::lock_guard<std::mutex> dispatch(dispatchLock);
    std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
    while (auto* device = static_cast<CPelkorDevice*>(devices.ExcludeItem(0u))) delete device;
}

bool CPelkorEnclosure::Init(uint8_t comNumber) {
    std::lock_guard<std::mutex> life(lifecycleLock);
    StopProcessing();
    if (!port.Init(comNumber)) {
        DeleteAllDevices();
        return false;
    }
    DeleteAllDevices();
    ready = true;
    StartProcessing();
    const uint32_t timeout = ProbeTimeout();
    for (uint32_t address = 0; address <= maxDeviceId; ++address) {
        if (!ready.load() || autoInitCancel.load()) break;
        auto* device = static_cast<CPelkorDevice*>(devices.CreateItem(nullptr));
        if (device == nullptr) continue;
        device->RegisterDevice(this, static_cast<uint8_t>(address));
        {
            std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
            if (!devices.AddItem(device, devices.GetItemCount())) {
                delete device;
                continue;
            }
        }
        if (!device->IsPresent(timeout) && !device->IsPresent(timeout)) {
            std::lock_guard<std::mutex> dispatch(dispatchLock);
            std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
            if (devices.ExcludeItem(device)) delete device;
        }
    }
    if (devices.GetItemCount() == 0 || !ready.load() || autoInitCancel.load()) {
        StopProcessing();
        port.DeInit();
        DeleteAllDevices();
        return false;
    }
    {
        std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
        for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i) device->Reset();
    }
    ready = true;
    return true;
}

bool CPelkorEnclosure::DeInit() {
    if (autoInitThreadId.load() != veldan::driver::CurrentThreadId()) StopAutoInit();
    std::lock_guard<std::mutex> life(lifecycleLock);
    DeInitLocked();
    return true;
}

void CPelkorEnclosure::DeInitLocked() {
    StopProcessing();
    port.DeInit();
    DeleteAllDevices();
    wakeEvent.Reset();
    stopEvent.Reset();
}

void CPelkorEnclosure::StopAutoInit() {
    std::lock_guard<std::mutex> lock(autoInitLock);
    if (autoInitThread.joinable()) {
        autoInitCancel = true;
        autoInitThread.join();
    }
    autoInitCancel = false;
}

bool CPelkorEnclosure::AutoInit(int32_t comNumber) {
    StopAutoInit();
    std::lock_guard<std::mutex> lock(autoInitLock);
    autoInitThread = std::thread([this, comNumber] { AutoInitBody(comNumber); });
    return true;
}

bool CPelkorEnclosure::AutoInitRunning() { return autoInitThreadId.load() != 0; }

void CPelkorEnclosure::AutoInitBody(int32_t comNumber) {
    autoInitThreadId = veldan::driver::CurrentThreadId();
    if (comNumber == -1) {
        for (int32_t n = 99; n >= 1 && !autoInitCancel.load(); --n) {
            if (Init(static_cast<uint8_t>(n))) break;
        }
    } else {
        Init(static_cast<uint8_t>(comNumber));
    }
    NotifyDeviceState(PELKOR_WHOLE_BUS, PELKOR_STATE_CHANGED);
    autoInitThreadId = 0;
}

void CPelkorEnclosure::LineLost() {
    // Runs on a port thread: nothing here may wait for the port's threads.
    ready = false;
    wakeEvent.Set();
    stopEvent.Set();
    port.lineEvent.Pulse();
    NotifyDeviceState(PELKOR_WHOLE_BUS, PELKOR_STATE_CHANGED);
}

bool CPelkorEnclosure::IsBusy() {
    int failures = 0;
    while (!deviceLock.TryEnter()) {
        if (++failures >= 100) return true;
        veldan::platform::Sleep(10);
    }
    bool busy = false;
    for (uint32_t i = 0; i < DeviceCount(); ++i) {
        auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i));
        if (device && device->GetStatusBusy()) {
            busy = true;
            break;
        }
    }
    deviceLock.Leave();
    return busy;
}

uint32_t CPelkorEnclosure::DeviceCount() { return devices.GetItemCount(); }

uint32_t CPelkorEnclosure::DeviceCount(uint64_t driverId) {
    std::lock_guard<veldan::platform::CriticalSection> lock(deviceLock);
    uint32_t n = 0;
    for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i)
        if (device->GetDriverId() == driverId) ++n;
    return n;
}

CPelkorDevice* CPelkorEnclosure::GetDevice(uint32_t index, bool lock) {
    if (!lock) return static_cast<CPelkorDevice*>(devices.GetItem(index));
    deviceLock.Enter();
    auto* device = static_cast<CPelkorDevice*>(devices.GetItem(index));
    if (device == nullptr) deviceLock.Leave();
    return device;
}

CPelkorDevice* CPelkorEnclosure::GetDevice(uint64_t driverId, uint32_t n, bool lock) {
    deviceLock.Enter();
    CPelkorDevice* found = nullptr;
    uint32_t seen = 0;
    for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i) {
        if (device->GetDriverId() != driverId) continue;
        if (seen++ == n) {
            found = device;
            break;
        }
    }
    if (found == nullptr || !lock) deviceLock.Leave();
    return found;
}

CPelkorDevice* CPelkorEnclosure::GetDeviceByBusID(uint32_t address, bool lock) {
    deviceLock.Enter();
    CPelkorDevice* found = FindDevice(address);
    if (found == nullptr || !lock) deviceLock.Leave();
    return found;
}

CPelkorDevice* CPelkorEnclosure::FindDevice(uint32_t address) {
    for (uint32_t i = 0; auto* device = static_cast<CPelkorDevice*>(devices.GetItem(i)); ++i)
        if (device->GetStatusDeviceID() == address) return device;
    return nullptr;
}

void CPelkorEnclosure::ReleaseDeviceLock() { deviceLock.Leave(); }

void CPelkorEnclosure::NotifyDeviceState(uint32_t address, int32_t code) {
    veldan::platform::HWND window = notifyWindow.load();
    if (window) veldan::platform::PostMessage(window, veldan::platform::WM_APP + 1, address, code);
}

void CPelkorEnclosure::NotifyPortRecvOn() {
    veldan::platform::HWND window = notifyWindow.load();
    if (window) veldan::platform::PostMessage(window, veldan::platform::WM_APP + 2, 0, 0);
}

void CPelkorEnclosure::NotifyPortRecvOff() {
    veldan::platform::HWND window = notifyWindow.load();
    if (window) veldan::platform::PostMessage(window, veldan::platform::WM_APP + 3, 0, 0);
}

void CPelkorEnclosure::NotifyPortTransOn() {
    veldan::platform::HWND window = notifyWindow.load();
    if (window) veldan::platform::PostMessage(window, veldan::platform::WM_APP + 4, 0, 0);
}

void CPelkorEnclosure::NotifyPortTransOff() {
    veldan::platform::HWND window = notifyWindow.load();
    if (window) veldan::platform::PostMessage(window, veldan::platform::WM_APP + 5, 0, 0);
}

CPelkorDevice* CPelkorEnclosure::CreateCompatibleDevice(const char* identity) {
    if (identity == nullptr) return nullptr;
    if (CPelkorDeviceDrive::CompatibleDevice(identity)) return new CPelkorDeviceDrive();
    if (CPelkorDeviceControl::CompatibleDevice(identity)) return new CPelkorDeviceControl();
    if (CPelkorDeviceCtrlDrv::CompatibleDevice(identity)) return new CPelkorDeviceCtrlDrv();
    return nullptr;
}
