// The drive: angle/step conversion, the way of an endless axis under angle
// limits, moves, reference run, zeroing, stops and position polling.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "DeviceText.h"
#include "Pelkor.h"

using Lock = std::lock_guard<veldan::platform::CriticalSection>;

namespace {

constexpr const char* kDriveIdentities =
    "47.210-3300|47.210-3300/0|47.210-3300/1|47.210-3300/2|47.210-3300/3|47.210-3300/4|47.210-3300/5|"
    "47.210-3300/6|47.210-3300/7";
constexpr uint32_t kPollPeriodMs = 500;

// Half away from zero.
int64_t RoundAway(double value) {
    return value >= 0 ? static_cast<int64_t>(value + 0.5) : static_cast<int64_t>(value - 0.5);
}

// Into 0..360, both ends included: 360 is subtracted while the angle is
// above 360 and added while it is below 0 (so 720 becomes 360, -360 becomes 0).
double NormaliseAngle(double angle) {
    if (!std::isfinite(angle)) return 0;
    if (angle > 360.0) {
        angle = std::fmod(angle, 360.0);
        if (angle == 0.0) angle = 360.0;
    } else if (angle < 0.0) {
        angle = std::fmod(angle, 360.0);
        if (angle < 0.0) angle += 360.0;
    }
    return angle;
}

}  // namespace

CPelkorDeviceDrive::CPelkorDeviceDrive() = default;

CPelkorDeviceDrive::~CPelkorDeviceDrive() { StopMonitorThread(); }

bool CPelkorDeviceDrive::CompatibleDevice(const char* identity) {
    return MatchIdentityList(kDriveIdentities, identity);
}

uint64_t CPelkorDeviceDrive::GetDriverId() { return DriverIdDrive; }

void CPelkorDeviceDrive::MonitorRound(CPelkorDevice* device) {
    static_cast<CPelkorDeviceDrive*>(device)->UpdateCurrentPosition();
}

bool CPelkorDeviceDrive::SetupNewPosition(double angle) {
    Lock lock(stateLock);
    if (stepsPerTurn == 0) {
        SendCommand("u", false, true, true);
        return false;
    }
    const int64_t d = RoundAway(angle / 360.0 * static_cast<double>(stepsPerTurn));
    if (!SendCommand("S", zeroOffset - d, 8, true, false, false, false)) return false;
    positionSteps = d;
    return true;
}

bool CPelkorDeviceDrive::SetupNewSpeed(double speed) {
    Lock lock(stateLock);
    if (speedBase == 0) {
        SendCommand("f", false, true, true);
        return false;
    }
    return SendCommand("F", RoundAway(speed * 0.75 * static_cast<double>(speedBase)), 5, false, false, false, false);
}

bool CPelkorDeviceDrive::SetupSleepPower(double power) {
    Lock lock(stateLock);
    const double p = std::isnan(power) ? 0.0 : std::clamp(power, 0.0, 0.9);
    int32_t level = static_cast<int32_t>(10.0 * p);
    if (level == 0 && p != 0.0) level = 1;
    sleepPower = level;
    sleepPowerPending = true;
    return true;
}

bool CPelkorDeviceDrive::SetupWorkPower(double power) {
    Lock lock(stateLock);
    const double p = std::isnan(power) ? 0.0 : std::clamp(power, 0.0, 0.9);
    int32_t level = static_cast<int32_t>(10.0 * p);
    if (level == 0 && p != 0.0) level = 1;
    workPower = level;
    workPowerPending = true;
    return true;
}

bool CPelkorDeviceDrive::SetupAccelerationTime(double seconds) {
    Lock lock(stateLock);
    const double tenths = seconds * 10.0;
    const int64_t v = std::isfinite(tenths) ? static_cast<int64_t>(std::clamp(tenths, -1e15, 1e15)) : 0;
    if (v != accelTenths) {
        accelTenths = v;
        accelerationPending = true;
    }
    return true;
}

bool CPelkorDeviceDrive::SendPendingSettings() {
    if (sleepPowerPending) {
        if (!SendCommand("I", sleepPower, 1, false, false, true, false)) return false;
        sleepPowerPending = false;
    }
    if (workPowerPending) {
        if (!SendCommand("J", workPower, 1, false, false, true, false)) return false;
        workPowerPending = false;
    }
    if (accelerationPending) {
        int64_t v = accelTenths;
        if (static_cast<double>(v) < minAcceleration) v = static_cast<int64_t>(minAcceleration);
        if (!SendCommand("A", v, 5, false, false, false, false)) return false;
        accelerationPending = false;
    }
    return true;
}

bool CPelkorDeviceDrive::GetAngleConstraint(uint64_t identifier, double& value) {
    return GetConstraint(identifier, &value, sizeof value);
}

bool CPelkorDeviceDrive::Goto(double angle, double speed) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (stepsPerTurn == 0) {
        SendCommand("u", false, true, true);
        return false;
    }
    if (!std::isfinite(angle)) return false;
    double minAngle = 0, maxAngle = 0;
    const bool hasMin = GetAngleConstraint(ConstraintMinAngle, minAngle);
    const bool hasMax = GetAngleConstraint(ConstraintMaxAngle, maxAngle);
    double target;
    if (HasConstraint(ConstraintWrapAxis)) {
        const double t = NormaliseAngle(angle);
        const double p = NormaliseAngle(commandedAngle);
        const double down = (p >= t ? p : p + 360.0) - t;
        const double up = p <= t ? t - p : 360.0 - p + t;
        bool downAllowed = true, upAllowed = true;
        if (hasMin) {
            const double l1 = NormaliseAngle(minAngle);
            if (p - down < l1) downAllowed = false;
            if (p + up < l1) upAllowed = false;
        }
        if (hasMax) {
            const double l2 = NormaliseAngle(maxAngle);
            if (p - down > l2) downAllowed = false;
            if (p + up > l2) upAllowed = false;
        }
        bool goUp;
        if (downAllowed && upAllowed) {
            goUp = (down == up) ? (t > p) : (up < down);
        } else if (upAllowed) {
            goUp = true;
        } else if (downAllowed) {
            goUp = false;
        } else {
            return false;
        }
        target = goUp ? commandedAngle + up : commandedAngle - down;
    } else {
        target = angle;
        if (hasMin && target < minAngle) target = minAngle;
        if (hasMax && target > maxAngle) target = maxAngle;
    }
    if (!SetupNewPosition(target)) return false;
    if (!SetupNewSpeed(speed)) return false;
    if (!SendPendingSettings()) return false;
    if (!SendCommand("G0", true, false, false)) return false;
    commandedAngle = lastTarget = target;
    return SendCommand("p", false, false, true);
}

bool CPelkorDeviceDrive::Go(double delta, double speed) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (stepsPerTurn == 0) {
        SendCommand("u", false, true, true);
        return false;
    }
    if (!std::isfinite(delta)) return false;
    double minAngle = 0, maxAngle = 0;
    if (GetAngleConstraint(ConstraintMinAngle, minAngle) && minAngle > commandedAngle + delta)
        delta = minAngle - commandedAngle;
    if (GetAngleConstraint(ConstraintMaxAngle, maxAngle) && maxAngle < commandedAngle + delta)
        delta = maxAngle - commandedAngle;
    const int64_t savedOffset = zeroOffset;
    const int64_t savedPosition = positionSteps;
    zeroOffset = 0;
    const bool positioned = SetupNewPosition(delta);
    if (positioned) positionSteps += savedPosition;
    zeroOffset = savedOffset;
    if (!positioned) return false;
    if (!SetupNewSpeed(speed)) return false;
    if (!SendPendingSettings()) return false;
    if (!SendCommand("G1", true, false, false)) return false;
    commandedAngle += delta;
    lastTarget = commandedAngle;
    return SendCommand("p", false, false, true);
}

bool CPelkorDeviceDrive::GotoReference(double speed) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    SetupNewSpeed(speed);
    if (!SendCommand("Y", true, false, false)) return false;
    commandedAngle = lastTarget = 0;
    positionSteps = zeroOffset = 0;
    const bool n = SendCommand("N", false, false, false);
    const bool p = SendCommand("p", false, false, true);
    return n && p;
}

bool CPelkorDeviceDrive::SetZeroPoint(bool keepQueues) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (!keepQueues) ClearQueues();
    lastTarget = 0;
    zeroOffset = 0;
    busy = false;
    const bool n = SendCommand("N", false, false, false);
    const bool p = SendCommand("p", false, false, true);
    return n && p;
}

bool CPelkorDeviceDrive::Stop(bool emergency, bool halt) {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    if (!busy.load()) return true;
    const char* command = emergency ? "O1" : (halt ? "O3" : "O2");
    const bool o = SendCommand(command, true, true, false);
    const bool p = SendCommand("p", false, false, true);
    return o && p;
}

bool CPelkorDeviceDrive::Abort() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    if (!busy.load()) return true;
    // Drop the postponed commands from the back up to a zeroing, which
    // stays queued with everything before it.
    bool metZeroing = false;
    while (postponedQueue.GetItemCount() > 0) {
        auto* last = static_cast<PelkorPacket*>(postponedQueue.GetItem(postponedQueue.GetItemCount() - 1));
        if (last == nullptr) break;
        if (last->PayloadStartsWith("N")) {
            metZeroing = true;
            break;
        }
        postponedQueue.DeleteItem(last);
    }
    if (!metZeroing) ClearQueues();
    return SendCommand("O2", true, false, false);
}

bool CPelkorDeviceDrive::UpdateProperties() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    const bool u = SendCommand("u", false, false, true);
    const bool f = SendCommand("f", false, false, true);
    const bool a = SendCommand("a", false, false, true);
    const bool base = CPelkorDevice::UpdateProperties();
    return u && f && a && base;
}

bool CPelkorDeviceDrive::UpdateStatusBusy() { return true; }

bool CPelkorDeviceDrive::SetConstraint(uint64_t identifier, const void* data, uint32_t size) {
    if (identifier == ConstraintMinAngle || identifier == ConstraintMaxAngle) {
        if (size != sizeof(double)) return false;
    } else if (identifier != ConstraintWrapAxis) {
        return false;
    }
    return CPelkorDevice::SetConstraint(identifier, data, size);
}

bool CPelkorDeviceDrive::UpdateCurrentPosition() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    for (uint32_t i = 0; auto* p = static_cast<PelkorPacket*>(sendQueue.GetItem(i)); ++i) {
        if (p->PayloadLength() == 1 && !p->PayloadStartsWith("p")) return true;
    }
    return SendCommand("p", false, true, false);
}

double CPelkorDeviceDrive::GetCurrentPosition() {
    Lock lock(stateLock);
    if (stepsPerTurn == 0) return 0;
    return static_cast<double>(positionSteps) / static_cast<double>(stepsPerTurn) * 360.0;
}

bool CPelkorDeviceDrive::ProcessInput(PelkorPacket* packet) {
    Lock lock(stateLock);
    const std::string text = veldan::driver::PayloadText(*packet);
    if (text.empty()) return CPelkorDevice::ProcessInput(packet);
    const char letter[2] = {text[0], 0};
    if (std::strchr("afpu", letter[0]) == nullptr) return CPelkorDevice::ProcessInput(packet);
    if (presenceEvent) presenceEvent->Pulse();
    AnswerProcessed(letter);
    int64_t value = 0;
    if (!ParseSigned(text.c_str() + 1, value)) return true;
    switch (letter[0]) {
        case 'a':
            minAcceleration = static_cast<double>(value) / 10.0;
            accelerationPending = true;
            NotifyStateChanged();
            break;
        case 'f':
            speedBase = value;
            NotifyStateChanged();
            break;
        case 'u':
            stepsPerTurn = value;
            NotifyStateChanged();
            break;
        case 'p': {
            const int64_t position = zeroOffset - value;
            if (position == positionSteps) {
                ClearBusy();
            } else {
                positionSteps = position;
                SetBusy();
                NotifyStateChanged();
            }
            if (!busy.load()) commandedAngle = GetCurrentPosition();
            StartMonitorThread(kPollPeriodMs, MonitorRound);
            break;
        }
    }
    return true;
}

bool CPelkorDeviceDrive::Init() {
    Lock lock(stateLock);
    if (!IsValid()) return false;
    ClearQueues();
    const bool y = SendCommand("Y", true, false, false);
    const bool props = UpdateProperties();
    const bool n = SendCommand("N", false, false, false);
    const bool p = SendCommand("p", false, false, true);
    commandedAngle = 0;
    positionSteps = 0;
    zeroOffset = 0;
    StartMonitorThread(kPollPeriodMs, MonitorRound);
    return y && props && n && p;
}

bool CPelkorDeviceDrive::Hibernate(MemBlockDesc* record) {
    Lock lock(stateLock);
    if (record == nullptr || !IsValid() || !ready.load()) return false;
    record->Add(static_cast<int64_t>(positionSteps));
    record->Add(static_cast<int64_t>(stepsPerTurn));
    record->Add(static_cast<int64_t>(speedBase));
    record->Add(static_cast<double>(minAcceleration));
    record->Add(static_cast<double>(commandedAngle));
    record->Add(static_cast<int64_t>(accelTenths));
    record->Add(static_cast<int64_t>(sleepPower));
    record->Add(static_cast<int64_t>(workPower));
    ready = false;
    return true;
}

bool CPelkorDeviceDrive::Resume(MemBlockDesc* record) {
    Lock lock(stateLock);
    if (record == nullptr || !IsValid() || !ready.load()) return false;
    size_t position = 0;
    const int64_t steps = record->Read(position, int64_t{0});
    stepsPerTurn = record->Read(position, int64_t{1});
    speedBase = record->Read(position, int64_t{1});
    minAcceleration = record->Read(position, 1.0);
    commandedAngle = record->Read(position, 1.0);
    accelTenths = record->Read(position, int64_t{10});
    sleepPower = static_cast<int32_t>(std::clamp<int64_t>(record->Read(position, int64_t{9}), 0, 9));
    workPower = static_cast<int32_t>(std::clamp<int64_t>(record->Read(position, int64_t{9}), 0, 9));
    positionSteps = steps;
    zeroOffset = steps;
    ClearQueues();
    EnableEcho();
    const bool n = SendCommand("N", false, false, false);
    const bool props = UpdateProperties();
    const bool p = SendCommand("p", false, false, true);
    return n && props && p;
}

int64_t CPelkorDeviceDrive::GetPositionSteps() {
    Lock lock(stateLock);
    return positionSteps;
}
int64_t CPelkorDeviceDrive::GetStepsPerTurn() {
    Lock lock(stateLock);
    return stepsPerTurn;
}
int64_t CPelkorDeviceDrive::GetSpeedBase() {
    Lock lock(stateLock);
    return speedBase;
}
double CPelkorDeviceDrive::GetCommandedAngle() {
    Lock lock(stateLock);
    return commandedAngle;
}
double CPelkorDeviceDrive::GetMinAcceleration() {
    Lock lock(stateLock);
    return minAcceleration;
}
int32_t CPelkorDeviceDrive::GetSleepPower() {
    Lock lock(stateLock);
    return sleepPower;
}
int32_t CPelkorDeviceDrive::GetWorkPower() {
    Lock lock(stateLock);
    return workPower;
}
int64_t CPelkorDeviceDrive::GetAccelTenths() {
    Lock lock(stateLock);
    return accelTenths;
}
