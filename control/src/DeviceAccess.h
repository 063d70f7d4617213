#pragma once
// Locked look-up of a bus device: the enclosure's device lock is held for as
// long as the object lives, and released exactly once.
#include <cstdint>

#include "Pelkor.h"

namespace veldan::control {

class LockedDevice {
public:
    // Looks the device up by bus address; addresses below 0 find nothing.
    LockedDevice(CPelkorEnclosure* enclosure, int busAddress) : enclosure_(enclosure) { Lookup(busAddress); }
    ~LockedDevice() { Release(); }
    LockedDevice(const LockedDevice&) = delete;
    LockedDevice& operator=(const LockedDevice&) = delete;

    // Releases a held device and looks the address up again.
    bool Lookup(int busAddress) {
        Release();
        if (enclosure_ && busAddress >= 0)
            device_ = enclosure_->GetDeviceByBusID(static_cast<uint32_t>(busAddress), true);
        return device_ != nullptr;
    }
    explicit operator bool() const { return device_ != nullptr; }
    CPelkorDevice* Get() const { return device_; }
    void Release() {
        if (device_) {
            device_ = nullptr;
            enclosure_->ReleaseDeviceLock();
        }
    }
    // The device as a drive (driver identifier DriverIdDrive), else null.
    CPelkorDeviceDrive* Drive() const {
        return device_ && device_->GetDriverId() == DriverIdDrive ? static_cast<CPelkorDeviceDrive*>(device_) : nullptr;
    }
    // The device as a control module (DriverIdControl), else null.
    CPelkorDeviceControl* Control() const {
        return device_ && device_->GetDriverId() == DriverIdControl ? static_cast<CPelkorDeviceControl*>(device_)
                                                                    : nullptr;
    }

private:
    CPelkorEnclosure* enclosure_;
    CPelkorDevice* device_ = nullptr;
};

}  // namespace veldan::control
