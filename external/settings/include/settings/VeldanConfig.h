#pragma once
// The device configuration ("settings.cfg"): serial line, bus, logging,
// module addresses, per-module drive settings, movement range, timings,
// speeds, plus the embedded assembly and script. Text format in
// docs/formats.md.
#include <cstdint>
#include <string>
#include "platform/Export.h"
#include "settings/VeldanAssembly.h"
#include "settings/VeldanScript.h"

struct DynStream;

class VELDAN_API CVeldanConfig {
public:
    static constexpr int kBusAddressCount = 32;  // bus addresses 0 to 31
    static constexpr int kRelayCount = 10;       // relays 0 to 9
    static constexpr size_t kMaxLineLength = 4096;
    static constexpr size_t kMaxFileSize = 1024 * 1024;

    CVeldanConfig();
    virtual ~CVeldanConfig();  // closes logStream
    CVeldanConfig(const CVeldanConfig&) = delete;
    CVeldanConfig& operator=(const CVeldanConfig&) = delete;

    // Starts from the defaults and applies every setting of the stream.
    // On any error (see GetLoadError) returns false and keeps every value
    // as it was before the call. The assembly, the script and an already
    // open logStream are not touched; when the traffic log is enabled
    // (|logLevel| == 3) and logStream is null, it is opened.
    virtual bool Load(DynStream* stream);
    // Writes every value; false when a write failed. A stream opened with
    // "w" is committed (the file is complete on true). Values set directly
    // outside the ranges Load accepts are first brought into them, so that
    // the file can always be read back.
    virtual bool Save(DynStream* stream);
    // One setting in the file's form "key=value" (spaces allowed around
    // "=", a trailing comment allowed), e.g. "edition=\"vrhead\"",
    // "port=3", "acceleration_time[1]=500". False and nothing changed when
    // the key is unknown or the value invalid.
    virtual bool SetParameter(const char* text);
    // Fills the script with a complete shooting run over the assembly's
    // pattern rows within the vertical limits and the twisting limit (see
    // docs/formats.md). False, script unchanged, when no position remains
    // or no shutter is configured.
    virtual bool ComputeOps(CVeldanScript* script);

    // Restores every value to its default (not assembly, script, logStream).
    void SetDefaults();
    // Edition: the assembly file name without ".asm"; null or "" clears it.
    // False for a name with a path separator or control characters.
    bool SetEdition(const char* name);
    // Opens logStream for appending when it is null, the traffic log is
    // enabled and a log file is known. True when logStream is open.
    bool OpenLogStream();
    std::string GetLoadError() const { return error_; }

    // --- serial line and bus
    int serialPort;        // COM number, -1 = search
    uint8_t maxDeviceId;   // highest bus address probed
    uint8_t simultaneous;  // 1 = overlapping commands of different devices
    int packetRate;        // packets per minute, 0 = unlimited
    // --- logging
    uint8_t verbose;       // 1 = verbose output
    int logLevel;          // traffic log while |logLevel| == 3
    DynStream* logStream;  // traffic log, owned; null when closed
    std::string logFile;   // UTF-8 path; relative to the configuration's folder
    // --- head
    const char* edition;  // assembly name or null; set via SetParameter/SetEdition
    CVeldanAssembly assembly;
    int hDriveAddress;  // -1 = absent
    int vDriveAddress;
    int controlAddress;
    double batteryEmpty;  // volts
    double batteryFull;
    // --- per bus address
    int accelerationTime[kBusAddressCount];  // ms, 0 = the drive's own
    int holdingPower[kBusAddressCount];      // percent
    int runningPower[kBusAddressCount];      // percent
    uint8_t parkingEnabled[kBusAddressCount];
    double parkingAngle[kBusAddressCount];  // degrees
    // --- contacts
    int shutterAddress;  // control module bus address, -1 = none
    int shutterRelay;    // 0 to 9
    int preshotAddress;
    int preshotRelay;
    // --- movement range
    double twistingLimit;  // degrees (360 when on), -1 = off
    double lowerLimit;     // vertical, degrees
    double upperLimit;
    // --- shooting
    int bracketing;          // releases per position
    int repetitions;         // passes over the whole pattern
    double preshotTime;      // seconds
    double exposureTime;     // seconds
    double recoverTime;      // seconds
    double globalSpeed;      // factors of full speed
    double horizontalSpeed;  // horizontal gear
    double verticalSpeed;    // vertical gear
    CVeldanScript script;

private:
    std::string edition_;
    std::string baseFolder_;  // folder of the last loaded file
    std::string error_;
};
