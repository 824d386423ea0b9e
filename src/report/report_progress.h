// Progress and cancel for long report operations (exports, printing), free of any widget: the
// preview adapts it to a progress window, tests and benchmarks pass their own or none.
#pragma once

namespace vyz::report {

class Progress {
public:
    virtual ~Progress() = default;
    // The operation has `total` steps (pages).
    virtual void Begin(int total) = 0;
    // `done` steps are finished; returns false when the operator asked to cancel.
    virtual bool Step(int done) = 0;
};

} // namespace vyz::report
