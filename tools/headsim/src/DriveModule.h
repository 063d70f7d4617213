#pragma once
#include "BusModule.h"
#include "MotionProfile.h"

namespace veldan::headsim {

struct DriveConfig {
    uint8_t address = 1;
    std::string identity = "47.210-3300";
    std::string manufacturer = "VELDAN virtual head";
    std::string version = "02.10";
    int64_t stepsPerTurn = 36000;  // answer to "u"
    int64_t speedBase = 4000;      // answer to "f": fastest speed value, steps per second
    int64_t minAccelTenths = 3;    // answer to "a": shortest acceleration time, tenths of a second
    double startAngle = 0.0;       // where the axis stands at power-on, degrees from the reference mark
};

// Snapshot of a drive for the control socket and tests.
struct DriveState {
    double angle = 0.0;   // degrees from the reference mark, in the angle sense of the bus driver
    int64_t counter = 0;  // the raw position counter the drive reports to "p"
    bool moving = false;
    bool referencing = false;
    int64_t target = 0;       // "S" register
    int64_t speed = 0;        // "F" register, steps per second
    int64_t accelTenths = 0;  // "A" register
    int holdPower = 9;        // "I"
    int runPower = 9;         // "J"
};

// A motor axis. The motor position is kept in steps in the direction of the
// raw counter; the counter is the motor position minus the point "N" last set
// to zero. The angle seen by the camera runs opposite to the counter (the bus
// driver's convention: raw = zero offset − position), 0° at the reference mark:
//   angle = −motor / stepsPerTurn × 360.
// Commands beyond the shared ones:
//   "S±nnnnnnn" target (absolute for "G0", relative for "G1"),
//   "Fnnnnn" speed in steps per second, "Annnnn" acceleration time in tenths
//   of a second (never shorter than the "a" value), "In"/"Jn" holding and
//   running power 0..9, "G0"/"G1" start the move, "Y" reference run (to the
//   mark, where the counter becomes 0), "N" counter to zero here, "O1" stop at
//   once, "O2" brake to a stand, "O3" halt with the shortest braking;
//   queries "p" (counter), "u", "f", "a".
class DriveModule : public BusModule {
public:
    DriveModule(const DriveConfig& config, double nowMs);

    DriveState StateAt(double nowMs);
    double AngleAt(double nowMs);
    bool IsMovingAt(double nowMs);

protected:
    bool HandleSpecific(const std::string& payload, double nowMs, CommandEffects& effects,
                        std::vector<std::string>& answers) override;
    void OnReset(double nowMs, CommandEffects& effects) override;
    bool BusyAt(double nowMs) const override;

private:
    void Update(double nowMs);    // finishes a reference run that has arrived
    double Acceleration() const;  // steps per second²
    double Speed() const;
    int64_t CounterAt(double nowMs) const;

    DriveConfig config_;
    MotionProfile motor_;
    int64_t counterZero_ = 0;
    int64_t targetRegister_ = 0;
    int64_t speedRegister_;
    int64_t accelRegister_ = 10;
    int holdPower_ = 9;
    int runPower_ = 9;
    bool referencing_ = false;
};

}  // namespace veldan::headsim
