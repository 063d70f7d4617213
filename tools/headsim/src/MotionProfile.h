#pragma once
#include <vector>

namespace veldan::headsim {

// Position of one axis over time: a sequence of segments of constant
// acceleration. Moves are planned as trapezoids (accelerate, cruise,
// decelerate) or triangles when the distance is too short to reach the speed;
// a move ordered while the axis runs first brakes to a stand and then starts
// from rest, as a simple step controller does. Time in milliseconds, position
// in steps, speed in steps per second, acceleration in steps per second².
class MotionProfile {
public:
    explicit MotionProfile(double position = 0.0) : restPosition_(position) {}

    double PositionAt(double tMs) const;
    double VelocityAt(double tMs) const;
    bool IsMovingAt(double tMs) const { return tMs < EndTime(); }
    // Time at which the axis comes to rest (the start of the profile when it
    // stands still).
    double EndTime() const;
    double FinalPosition() const { return restPosition_; }

    // Plans a move from the state at tMs to the target.
    void MoveTo(double tMs, double target, double speed, double acceleration);
    // Brakes with the given acceleration to a stand.
    void Brake(double tMs, double acceleration);
    // Stops at once where the axis is at tMs.
    void Halt(double tMs);

private:
    struct Segment {
        double t0, x0, v0, a, duration;  // v in steps/ms, a in steps/ms²
    };
    void TruncateAt(double tMs, double& x, double& v);
    void AppendBrake(double t, double x, double v, double a);
    void AppendRestToRest(double t, double x, double target, double vmax, double a);

    std::vector<Segment> segments_;
    double restPosition_;
};

}  // namespace veldan::headsim
