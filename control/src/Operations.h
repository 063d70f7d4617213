#pragma once
// The operations of a shooting script, each also a single entry point:
// moves, waits and the camera contacts.
#include "VELDANcontrol.h"

namespace veldan::control {

// What the script runner executes. The head's implementation works on the
// handle's enclosure; every wait ends early when the handle's abortEvent is
// set.
class OperationSet {
public:
    virtual ~OperationSet() = default;
    virtual bool MoveHorizontal(double degrees) = 0;
    virtual bool MoveVertical(double degrees) = 0;
    virtual bool Wait(int milliseconds) = 0;
    virtual bool WaitRecover(int milliseconds) = 0;
    virtual bool Preshoot() = 0;
    virtual bool Shoot() = 0;
    virtual bool Release() = 0;
};

class HeadOperations final : public OperationSet {
public:
    explicit HeadOperations(ControlHandle handle) : h_(handle) {}
    bool MoveHorizontal(double degrees) override;
    bool MoveVertical(double degrees) override;
    bool Wait(int milliseconds) override;
    bool WaitRecover(int milliseconds) override;
    bool Preshoot() override;
    bool Shoot() override;
    bool Release() override;

private:
    ControlHandle h_;
};

}  // namespace veldan::control
