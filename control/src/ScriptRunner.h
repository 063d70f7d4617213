#pragma once
// The script runner: executes the handle's script operation by operation,
// obeying the break, resume and abort requests of the caller.
#include "Operations.h"
#include "VELDANcontrol.h"

class CVeldanScript;

namespace veldan::control {

struct RunResult {
    int nextIndex = 0;     // where an endless run continues
    bool aborted = false;  // the pass ended by an abort or a failed operation
};

// Executes `script` from `index` with `ops`. A set abortEvent ends the pass
// before the next operation (and is reset at the end, so that the next run
// is not aborted at once); a set breakEvent pauses before the next operation
// until resume or abort.
RunResult ExecuteScript(ControlHandle handle, const CVeldanScript& script, int index, OperationSet& ops);

// The run entry points. `ops` executes the operations (the head's by
// default); they return 0 or -1 as the entry points do.
int RunOnePass(ControlHandle handle, OperationSet* ops = nullptr);
int RunSynchronous(ControlHandle handle, OperationSet* ops = nullptr);
int RunEndless(ControlHandle handle, OperationSet* ops = nullptr);
int BreakRun(ControlHandle handle);
int ResumeRun(ControlHandle handle);
int AbortRun(ControlHandle handle);

// Ends an asynchronous run for good (also an endless one) and waits for its
// thread; used before the handle's contents go.
void StopRunner(ControlHandle handle);

}  // namespace veldan::control
