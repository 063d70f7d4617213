#pragma once
// Device bus driver of the VELDAN head: frames on the serial bus, the serial
// port with its receiver and transmitter threads, the enclosure that owns
// the bus, and the device classes for drives and control modules.
//
// Threads and locks (in the order in which they may be taken):
//   deviceLock (enclosure, re-entrant)  ->  a device's stateLock  ->  logLock
// Callers reach devices only through the locked look-ups of the enclosure
// and release them with ReleaseDeviceLock. Every call into a device takes
// that device's own stateLock, so the input thread, the output thread, the
// polling threads and the callers never see a half-changed queue.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "memblock/DynamicQueue.h"
#include "memblock/MemBlockDesc.h"
#include "memblock/MemoryBlock.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/Export.h"
#include "platform/Window.h"
#include "stream/DynStream.h"

class CPelkorEnclosure;
class CPelkorDevice;
namespace veldan::platform {
class SerialLine;
}

// Library version: writes 2, 1 and 0 into the pointers that are not null.
VELDAN_C_API void Pelkor_version(int32_t* major, int32_t* minor, int32_t* build);

// Frame kinds (upper three bits of the header byte).
constexpr uint8_t PELKOR_KIND_ANSWER = 0xA0;
constexpr uint8_t PELKOR_KIND_COMMAND = 0xC0;
constexpr uint8_t PELKOR_KIND_BROADCAST = 0xE0;
constexpr uint8_t PELKOR_TERMINATOR = 0x0D;
constexpr uint16_t PELKOR_PACKET_FORMAT = 0x0100;

// Driver identifiers: high 32 bits the family, low 32 bits the member.
constexpr uint64_t DriverIdDrive = 0x0001000100000064ull;
constexpr uint64_t DriverIdControl = 0x0001000200000064ull;
constexpr uint64_t DriverIdCtrlDrv = 0x0001000300000064ull;

// Constraint identifiers.
constexpr uint64_t ConstraintMinAngle = 0x0001000100000001ull;  // one double
constexpr uint64_t ConstraintMaxAngle = 0x0001000100000002ull;  // one double
constexpr uint64_t ConstraintWrapAxis = 0x0001000100000003ull;  // no data

// Notification codes of NotifyDeviceState (lParam of WM_APP+1).
constexpr int32_t PELKOR_STATE_CHANGED = 0;
constexpr int32_t PELKOR_STATE_BUSY = 98;
constexpr int32_t PELKOR_STATE_RECOGNISED = 76;
constexpr uint32_t PELKOR_WHOLE_BUS = 255;

// One frame of the bus in memory: header byte (kind | busId), ASCII payload,
// carriage return. The packet owns its payload.
class VELDAN_API PelkorPacket : public CMemoryItem {
public:
    PelkorPacket();
    PelkorPacket(const PelkorPacket& other);
    PelkorPacket& operator=(const PelkorPacket& other);
    ~PelkorPacket() override;

    // The echo test: both payloads allocated, same length, same bytes.
    virtual bool operator==(const PelkorPacket& other) const;
    // Appends this packet as one frame (a single Push of n + 2 bytes).
    virtual bool StreamOut(DynamicQueue* queue);
    // Removes the first complete frame from the queue into this packet.
    virtual bool StreamIn(DynamicQueue* queue);
    // Writes the traffic log line of this packet.
    virtual bool LogToStream(DynStream* stream);
    // dueTime = now + 1000 ms.
    virtual void SetTimestamp();

    // Milliseconds of the process-wide 64-bit tick counter (never wraps).
    static uint64_t GetCurrentTimestamp();

    // Helpers (not part of the virtual interface).
    // Replaces the payload by the bytes of text (without its zero).
    void SetPayload(const char* text);
    void SetPayload(const void* data, uint32_t length);
    uint32_t PayloadLength() const;
    // True when the payload starts with prefix.
    bool PayloadStartsWith(const char* prefix) const;
    // The traffic log line without the final CR LF (for tests and tools).
    std::string LogLine(uint64_t tick) const;

    uint16_t formatWord;
    uint8_t kind;
    uint8_t busId;
    MemBlockDesc payload;
    bool expectEcho;   // E
    bool awaitAnswer;  // W
    bool serialize;    // S
    bool setsBusy;     // D
    bool immediate;    // I
    uint64_t dueTime;
    uint64_t sendCount;
};

// The serial port: opens COM<n>, runs a receiver thread that copies every
// received byte into receiveQueue and a transmitter thread that writes the
// bytes of sendQueue to the line.
class VELDAN_API CPelkorPort {
public:
    CPelkorPort();
    virtual ~CPelkorPort();
    CPelkorPort(const CPelkorPort&) = delete;
    CPelkorPort& operator=(const CPelkorPort&) = delete;

    virtual bool Init(uint8_t comNumber);
    virtual bool DeInit();
    virtual bool Purge();
    virtual bool IsReady();
    virtual bool IsBusy();
    virtual uint8_t GetCOM_nr();

    // Thread bodies.
    bool Receiver();
    void Transmitter();

    // True when the line vanished (hang-up, device removed, I/O error) since
    // the last Init; the threads have ended then.
    bool LineLost() const { return lineLost.load(); }
    const char* GetPortName() const { return portName; }

    DynamicQueue sendQueue;
    DynamicQueue receiveQueue;
    veldan::platform::Event lineEvent{false};      // pulsed when a received chunk holds 0x0D
    veldan::platform::Event transmitEvent{false};  // wakes the transmitter
    CPelkorEnclosure* enclosure = nullptr;

protected:
    bool InitBluetooth();
    uint64_t CurrentTimestamp();

private:
    void LoseLine();

    std::atomic<bool> ready{false};
    bool busy = false;
    uint8_t comNumber = 0;
    char portName[8] = {};
    std::unique_ptr<veldan::platform::SerialLine> line;
    std::atomic<uint32_t> receiverThreadId{0};
    std::atomic<uint32_t> transmitterThreadId{0};
    std::thread receiverThread;
    std::thread transmitterThread;
    std::atomic<bool> lineLost{false};
    std::atomic<int> threadsStarted{0};
};

// A constraint of a device: identifier and optional data.
class VELDAN_API CConstraint : public CMemoryItem {
public:
    CConstraint();
    CConstraint(const CConstraint& other);
    CConstraint& operator=(const CConstraint& other);
    ~CConstraint() override;

    uint64_t identifier = 0;
    MemBlockDesc data;
};

namespace veldan::driver {
class PelkorMonitor;
}

// Base of every device on the bus.
class VELDAN_API CPelkorDevice : public CMemoryItem {
public:
    CPelkorDevice();
    ~CPelkorDevice() override;
    CPelkorDevice(const CPelkorDevice&) = delete;
    CPelkorDevice& operator=(const CPelkorDevice&) = delete;

    virtual bool IsReady();
    virtual int32_t GetProgress();
    virtual bool RegisterDevice(CPelkorEnclosure* enclosure, uint8_t busId);
    virtual bool DeRegisterDevice();
    virtual bool Hibernate(MemBlockDesc* record);
    virtual bool Resume(MemBlockDesc* record);
    virtual bool ProcessPacket(PelkorPacket* received);
    virtual PelkorPacket* GetNextSendPacket();
    virtual bool PacketSent(PelkorPacket* packet);
    virtual bool IsPresent(uint32_t milliseconds);
    virtual uint64_t GetDriverId();
    virtual bool Reset();
    virtual bool Init();
    virtual bool Purge();
    virtual bool Abort();
    virtual bool EnableEcho();
    virtual bool DisableEcho();
    virtual bool UpdateProperties();
    virtual bool GetStatusBusy();
    virtual bool UpdateStatusBusy();
    virtual bool GetStatusError();
    virtual uint16_t GetStatusVersion();
    virtual uint8_t GetStatusDeviceID();
    // Texts stay valid while the device object lives.
    virtual const char* GetStatusDeviceAlias();
    virtual const char* GetStatusManufacturer();
    virtual bool LogToStream(DynStream* stream);
    virtual bool SetConstraint(uint64_t identifier, const void* data, uint32_t size);
    virtual bool GetConstraint(uint64_t identifier, void* out, uint32_t size);
    virtual bool ClearConstraint(uint64_t identifier);

    // False in the base class: a generic device serves no identity.
    static bool CompatibleDevice(const char* identity);

    // Helpers (not part of the virtual interface).
    // The device's own lock; the enclosure holds it while it picks, streams
    // and accounts a packet, so that an echo cannot remove the packet under it.
    void LockState() { stateLock.Enter(); }
    void UnlockState() { stateLock.Leave(); }
    // Payload texts of the queued packets, head first.
    std::vector<std::string> QueuedCommands(bool postponed);
    bool EchoEnabled();
    // Ends the polling thread (if any) and waits for it. Must not be called
    // while holding this device's state lock.
    void StopMonitorThread();

protected:
    friend class CPelkorEnclosure;

    virtual void SetBusy();
    virtual void ClearBusy();
    virtual void SetProgress(uint32_t value);
    virtual bool ProcessInput(PelkorPacket* packet);
    virtual bool SendCommand(const char* prefix, int64_t value, uint16_t width, bool isSigned, bool setsBusy,
                             bool immediate, bool awaitAnswer);
    virtual bool SendCommand(const char* text, bool setsBusy, bool immediate, bool awaitAnswer);
    virtual bool SendCommand(PelkorPacket* packet);
    virtual bool CompressSendQ();
    virtual bool AnswerProcessed(const char* letter);

    void NotifyStateChanged();
    void NotifyState(int32_t code);
    // Deletes every packet of both queues.
    void ClearQueues();
    // Starts the polling thread calling body every periodMs until stopped.
    void StartMonitorThread(uint32_t periodMs, void (*body)(CPelkorDevice*));
    bool MonitorRunning();
    // Replaces an owned text; the old text stays alive until destruction so
    // that a pointer handed out earlier never dangles.
    void ReplaceText(char*& field, const char* value);
    // "identity list" matching shared by the device classes: every entry but
    // the last accepts identities beginning with it, the last only itself.
    static bool MatchIdentityList(const char* list, const char* identity);
    static bool ParseSigned(const char* text, int64_t& value);
    // The state every reset starts from: empty queues, idle, no error, echo on.
    void ResetToIdle();
    // Sends "L<relay><0|1>" and remembers the state when the packet was queued.
    bool SendRelayCommand(uint8_t relay, bool on, bool (&states)[10]);
    // True when a constraint with this identifier is set (whatever its data).
    bool HasConstraint(uint64_t identifier);

    veldan::platform::CriticalSection stateLock;
    std::atomic<bool> ready{false};
    int32_t progress = -1;
    CPelkorEnclosure* enclosure = nullptr;
    uint8_t busId = 0;
    std::atomic<bool> busy{false};
    bool error = false;
    bool echo = true;
    uint16_t version = 0;
    char* alias = nullptr;
    char* manufacturer = nullptr;
    CMemoryBlock constraints;
    uint64_t busyMarker;
    CMemoryBlock postponedQueue;
    CMemoryBlock sendQueue;
    veldan::platform::Event* presenceEvent = nullptr;

private:
    std::unique_ptr<veldan::driver::PelkorMonitor> monitor;
    std::vector<char*> retiredTexts;
};

// A motor axis.
class VELDAN_API CPelkorDeviceDrive : public CPelkorDevice {
public:
    CPelkorDeviceDrive();
    ~CPelkorDeviceDrive() override;

    bool Hibernate(MemBlockDesc* record) override;
    bool Resume(MemBlockDesc* record) override;
    uint64_t GetDriverId() override;
    bool Init() override;
    bool Abort() override;
    bool UpdateProperties() override;
    bool UpdateStatusBusy() override;
    bool SetConstraint(uint64_t identifier, const void* data, uint32_t size) override;

    virtual bool Goto(double angle, double speed);
    virtual bool GotoReference(double speed);
    virtual bool Go(double delta, double speed);
    virtual bool Stop(bool emergency, bool halt);
    virtual bool SetZeroPoint(bool keepQueues);
    virtual bool SetupSleepPower(double power);
    virtual bool SetupWorkPower(double power);
    virtual bool SetupAccelerationTime(double seconds);
    virtual bool UpdateCurrentPosition();
    virtual double GetCurrentPosition();

    static bool CompatibleDevice(const char* identity);

    // Read-outs (not part of the virtual interface).
    int64_t GetPositionSteps();
    int64_t GetStepsPerTurn();
    int64_t GetSpeedBase();
    double GetCommandedAngle();
    double GetMinAcceleration();
    int32_t GetSleepPower();
    int32_t GetWorkPower();
    int64_t GetAccelTenths();

protected:
    virtual bool SetupNewPosition(double angle);
    virtual bool SetupNewSpeed(double speed);

    bool ProcessInput(PelkorPacket* packet) override;
    bool SendPendingSettings();
    bool GetAngleConstraint(uint64_t identifier, double& value);
    static void MonitorRound(CPelkorDevice* device);

    double lastTarget = 0;
    double minAcceleration = 0;
    int64_t speedBase = 0;
    int64_t positionSteps = 0;
    int64_t zeroOffset = 0;
    int64_t stepsPerTurn = 0;
    double commandedAngle = 0;
    int64_t accelTenths = 10;
    bool accelerationPending = true;
    int32_t sleepPower = 9;
    bool sleepPowerPending = true;
    int32_t workPower = 9;
    bool workPowerPending = true;
};

// The control module: ten relays and the battery voltage.
class VELDAN_API CPelkorDeviceControl : public CPelkorDevice {
public:
    CPelkorDeviceControl();
    ~CPelkorDeviceControl() override;

    bool Resume(MemBlockDesc* record) override;
    uint64_t GetDriverId() override;
    bool Reset() override;
    bool Init() override;
    bool UpdateProperties() override;
    bool GetStatusBusy() override;

    virtual bool SetRelayState(uint8_t relay, bool on);
    virtual bool GetRelayState(uint8_t relay);
    virtual bool UpdateVoltage();
    virtual double GetVoltage();

    static bool CompatibleDevice(const char* identity);

protected:
    bool ProcessInput(PelkorPacket* packet) override;
    static void MonitorRound(CPelkorDevice* device);

    bool relayStates[10] = {};
    double voltage = 1.0;
};

// A module that is a drive and a relay board in one.
class VELDAN_API CPelkorDeviceCtrlDrv : public CPelkorDeviceDrive {
public:
    CPelkorDeviceCtrlDrv();
    ~CPelkorDeviceCtrlDrv() override;

    uint64_t GetDriverId() override;
    bool Init() override;

    virtual bool SetRelayState(uint8_t relay, bool on);
    virtual bool GetRelayState(uint8_t relay);

    static bool CompatibleDevice(const char* identity);

protected:
    bool relayStates[10] = {};
};

// The bus: owns the port, the device list and the input and output threads.
class VELDAN_API CPelkorEnclosure {
public:
    CPelkorEnclosure();
    virtual ~CPelkorEnclosure();
    CPelkorEnclosure(const CPelkorEnclosure&) = delete;
    CPelkorEnclosure& operator=(const CPelkorEnclosure&) = delete;

    virtual bool IsReady();
    virtual bool IsBusy();
    virtual uint8_t GetCOM_nr();
    virtual uint32_t DeviceCount(uint64_t driverId);
    virtual uint32_t DeviceCount();
    virtual CPelkorDevice* GetDevice(uint64_t driverId, uint32_t n, bool lock);
    virtual CPelkorDevice* GetDevice(uint32_t index, bool lock);
    virtual CPelkorDevice* GetDeviceByBusID(uint32_t address, bool lock);
    virtual void ReleaseDeviceLock();
    virtual void NotifyDeviceState(uint32_t address, int32_t code);
    virtual void NotifyPortRecvOn();
    virtual void NotifyPortRecvOff();
    virtual void NotifyPortTransOn();
    virtual void NotifyPortTransOff();
    virtual uint32_t ProcessInput();
    virtual uint32_t ProcessOutput();

    bool Init(uint8_t comNumber);
    bool AutoInit(int32_t comNumber);
    bool DeInit();
    bool SetMaxDeviceID(uint8_t maxId);
    bool SetSimultaneousFlag(bool simultaneous);
    bool GetSimultaneousFlag();
    bool SetPacketRate(int32_t packetsPerMinute);
    int32_t GetPacketRate();
    bool Hibernate(MemBlockDesc* record);
    bool Resume(uint8_t comNumber, MemBlockDesc* record);

    // Helpers (not part of the virtual interface).
    veldan::platform::Event& WakeEvent() { return wakeEvent; }
    veldan::platform::Event& StopEvent() { return stopEvent; }
    CPelkorPort& Port() { return port; }
    // True while an automatic initialisation thread runs.
    bool AutoInitRunning();
    // Called by the port's threads when the line vanished: the bus stops and
    // the whole bus is reported as changed.
    void LineLost();
    // Writes one text to the traffic log when it is enabled.
    void LogText(const char* text);

    // Set directly by the owner, read by the bus threads at every use
    // (atomic, so that they may be changed while the bus runs).
    std::atomic<veldan::platform::HWND> notifyWindow{nullptr};
    std::atomic<DynStream**> logStream{nullptr};
    std::atomic<int32_t*> logLevel{nullptr};

protected:
    virtual bool ProcessPacket(PelkorPacket* packet);
    CPelkorDevice* CreateCompatibleDevice(const char* identity);

private:
    DynStream* TrafficLog();
    void LogPacket(const char* prefix, const PelkorPacket& packet);
    void LogDevices();
    bool StartProcessing();
    void StopProcessing();
    void DeleteAllDevices();
    void DeInitLocked();
    void StopAutoInit();
    // The device with this bus address, without locking.
    CPelkorDevice* FindDevice(uint32_t address);
    void AutoInitBody(int32_t comNumber);
    uint32_t ProbeTimeout() const;

    std::mutex logLock;
    std::thread autoInitThread;
    std::atomic<uint32_t> autoInitThreadId{0};
    std::atomic<bool> autoInitCancel{false};
    std::mutex autoInitLock;
    CMemoryBlock devices;
    veldan::platform::CriticalSection deviceLock;
    // Held by the input thread while it dispatches a packet and by whoever
    // deletes a device outside the input thread, so that no device is
    // destroyed under a running dispatch. Taken before deviceLock.
    std::mutex dispatchLock;
    CPelkorPort port;
    std::atomic<bool> ready{false};
    uint8_t maxDeviceId = 31;
    std::atomic<bool> simultaneous{false};
    int32_t packetRate = 0;
    veldan::platform::Event wakeEvent{false};
    veldan::platform::Event stopEvent{true};
    std::thread inputThread;
    std::thread outputThread;
    std::atomic<uint32_t> inputThreadId{0};
    std::atomic<uint32_t> outputThreadId{0};
    std::mutex lifecycleLock;
};
