// MotionProfile: an axis's position over time as segments of constant
// acceleration, moves and brakes.
#include "MotionProfile.h"

#include <algorithm>
#include <cmath>

namespace veldan::headsim {

namespace {
constexpr double kMinSpeed = 1e-6;  // steps per ms
}

double MotionProfile::EndTime() const {
    if (segments_.empty()) return -INFINITY;
    const Segment& s = segments_.back();
    return s.t0 + s.duration;
}

double MotionProfile::PositionAt(double t) const {
    if (segments_.empty() || t >= EndTime()) return restPosition_;
    if (t <= segments_.front().t0) return segments_.front().x0;
    for (const Segment& s : segments_) {
        if (t < s.t0 + s.duration) {
            double d = t - s.t0;
            return s.x0 + s.v0 * d + 0.5 * s.a * d * d;
        }
    }
    return restPosition_;
}

double MotionProfile::VelocityAt(double t) const {
    if (segments_.empty() || t >= EndTime()) return 0.0;
    if (t <= segments_.front().t0) return segments_.front().v0 * 1000.0;
    for (const Segment& s : segments_) {
        if (t < s.t0 + s.duration) return (s.v0 + s.a * (t - s.t0)) * 1000.0;
    }
    return 0.0;
}

void MotionProfile::TruncateAt(double t, double& x, double& v) {
    x = PositionAt(t);
    v = VelocityAt(t) / 1000.0;
    segments_.clear();
    restPosition_ = x;
}

void MotionProfile::AppendBrake(double t, double x, double v, double a) {
    if (std::fabs(v) < kMinSpeed) return;
    double decel = v > 0 ? -a : a;
    double duration = std::fabs(v) / a;
    segments_.push_back({t, x, v, decel, duration});
    restPosition_ = x + v * duration + 0.5 * decel * duration * duration;
}

void MotionProfile::AppendRestToRest(double t, double x, double target, double vmax, double a) {
    double distance = std::fabs(target - x);
    if (distance <= 0.0) {
        restPosition_ = target;
        return;
    }
    double dir = target > x ? 1.0 : -1.0;
    double accelDistance = vmax * vmax / (2.0 * a);
    double peak = vmax;
    double cruise = 0.0;
    if (2.0 * accelDistance >= distance) {
        peak = std::sqrt(distance * a);
        accelDistance = distance / 2.0;
    } else {
        cruise = (distance - 2.0 * accelDistance) / vmax;
    }
    double accelTime = peak / a;
    segments_.push_back({t, x, 0.0, dir * a, accelTime});
    double x1 = x + dir * accelDistance;
    t += accelTime;
    if (cruise > 0.0) {
        segments_.push_back({t, x1, dir * peak, 0.0, cruise});
        x1 += dir * peak * cruise;
        t += cruise;
    }
    segments_.push_back({t, x1, dir * peak, -dir * a, accelTime});
    restPosition_ = target;
}

void MotionProfile::MoveTo(double t, double target, double speed, double acceleration) {
    double vmax = std::max(speed / 1000.0, kMinSpeed);
    double a = std::max(acceleration / 1e6, 1e-12);
    double x, v;
    TruncateAt(t, x, v);
    if (std::fabs(v) >= kMinSpeed) {
        AppendBrake(t, x, v, a);
        t = EndTime();
        x = restPosition_;
    }
    AppendRestToRest(t, x, target, vmax, a);
}

void MotionProfile::Brake(double t, double acceleration) {
    double a = std::max(acceleration / 1e6, 1e-12);
    double x, v;
    TruncateAt(t, x, v);
    AppendBrake(t, x, v, a);
}

void MotionProfile::Halt(double t) {
    double x, v;
    TruncateAt(t, x, v);
}

}  // namespace veldan::headsim
