// Opening a handle's bus with the port search and closing it again: parking
// the drives and switching the relays off.
#include "DeviceSession.h"

#include "ControlHandle.h"
#include "DeviceAccess.h"
#include "DriveSettings.h"
#include "Pelkor.h"
#include "platform/Tick.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

using platform::GetTickCount64;
using platform::Sleep;

namespace {

// After the bus has opened, the devices report their identities and are
// given their classes. Waits until every device has its class, at most one
// second (a module that never identifies itself stays generic).
void AwaitDeviceClasses(CPelkorEnclosure& enclosure) {
    const uint64_t end = GetTickCount64() + 1000;
    for (;;) {
        bool allKnown = true;
        for (uint32_t i = 0; CPelkorDevice* device = enclosure.GetDevice(i, true); ++i) {
            if (device->GetDriverId() == 0) allKnown = false;
            enclosure.ReleaseDeviceLock();
        }
        if (allKnown || GetTickCount64() >= end) return;
        Sleep(10);
    }
}

void RelayOff(VELDANcontrolRecord& h, int address, int relay) {
    LockedDevice dev(h.enclosure.get(), address);
    if (CPelkorDeviceControl* module = dev.Control())
        if (relay >= 0 && relay <= 9) module->SetRelayState(static_cast<uint8_t>(relay), false);
}

void ParkDrives(VELDANcontrolRecord& h) {
    const CVeldanConfig& c = *h.config;
    CPelkorEnclosure& enclosure = *h.enclosure;
    {
        LockedDevice dev(&enclosure, c.hDriveAddress);
        if (CPelkorDeviceDrive* drive = dev.Drive()) {
            ApplyHorizontalConstraints(*drive, c);
            ApplyDriveSettings(*drive, c, c.hDriveAddress);
            drive->Goto(0.0, c.horizontalSpeed * c.globalSpeed);
        }
    }
    {
        const int v = c.vDriveAddress;
        LockedDevice dev(&enclosure, v);
        if (CPelkorDeviceDrive* drive = dev.Drive()) {
            if (h.noPark) {
                ApplyVerticalConstraints(*drive, c);
                ApplyDriveSettings(*drive, c, v);
                drive->GotoReference(c.verticalSpeed * c.globalSpeed);
            } else if (v >= 0 && v < CVeldanConfig::kBusAddressCount && c.parkingEnabled[v]) {
                ApplyVerticalConstraints(*drive, c);
                ApplyDriveSettings(*drive, c, v);
                drive->Goto(c.parkingAngle[v], c.verticalSpeed * c.globalSpeed);
            }
        }
    }
}

// Waits while the bus reports busy, asking every busy device for its state
// every tenth pass. Bounded, so that a module that stopped answering cannot
// keep the program from switching the head off.
void AwaitIdleBus(CPelkorEnclosure& enclosure, uint32_t limitMs) {
    const uint64_t end = GetTickCount64() + limitMs;
    for (int pass = 1; enclosure.IsReady() && enclosure.IsBusy() && GetTickCount64() < end; ++pass) {
        Sleep(100);
        if (pass % 10 == 0) {
            for (uint32_t i = 0; CPelkorDevice* device = enclosure.GetDevice(i, true); ++i) {
                if (device->GetStatusBusy()) device->UpdateStatusBusy();
                enclosure.ReleaseDeviceLock();
            }
        }
    }
}

// True while a control module still has commands queued.
bool ControlModulesBusy(CPelkorEnclosure& enclosure) {
    bool busy = false;
    for (uint32_t i = 0; CPelkorDevice* device = enclosure.GetDevice(i, true); ++i) {
        if (device->GetDriverId() == DriverIdControl && device->GetStatusBusy()) busy = true;
        enclosure.ReleaseDeviceLock();
    }
    return busy;
}

}  // namespace

bool InitDevice(ControlHandle handle) {
    VELDANcontrolRecord& h = *handle;
    CVeldanConfig& c = *h.config;
    CPelkorEnclosure& enclosure = *h.enclosure;
    enclosure.SetMaxDeviceID(c.maxDeviceId);
    enclosure.SetSimultaneousFlag(c.simultaneous != 0);
    enclosure.SetPacketRate(c.packetRate);
    enclosure.logStream = &c.logStream;
    enclosure.logLevel = &c.logLevel;

    if (c.serialPort == -1) {
        bool found = false;
        for (int n = 99; n >= 1 && !found; --n) {
            h.Write(L"Probing device on COM%d... ", n);
            found = enclosure.Init(static_cast<uint8_t>(n));
            if (!found) h.Write(L"failed\n");
        }
        if (!found) return false;
    } else {
        h.Write(L"Initializing device on COM%d... ", c.serialPort);
        // COM numbers run from 1 to 255; anything else cannot be opened.
        if (c.serialPort < 1 || c.serialPort > 255 || !enclosure.Init(static_cast<uint8_t>(c.serialPort))) {
            h.Write(L"failed\n");
            return false;
        }
    }
    AwaitDeviceClasses(enclosure);
    h.Write(L"OK\n");
    return true;
}

void ShutdownDevice(ControlHandle handle) {
    VELDANcontrolRecord& h = *handle;
    const CVeldanConfig& c = *h.config;
    h.Write(L"Shutting down device... ");
    RelayOff(h, c.preshotAddress, c.preshotRelay);
    RelayOff(h, c.shutterAddress, c.shutterRelay);
    if (!h.stay) {
        ParkDrives(h);
        AwaitIdleBus(*h.enclosure, 120000);
    } else {
        // Only the relay commands must go out before the bus closes: an open
        // shutter contact would keep the camera exposing.
        const uint64_t end = GetTickCount64() + 2000;
        while (h.enclosure->IsReady() && ControlModulesBusy(*h.enclosure) && GetTickCount64() < end) Sleep(10);
    }
    h.Write(h.enclosure->DeInit() ? L"OK\n" : L"failed\n");
}

}  // namespace veldan::control
