#pragma once

// Runs of integer statements decoded once from a machine's code and taken
// whole by the interpreter's loop: `x = a + b * 3`, `inc i`, `if i == n`
// and a jump, as scripts compile them. A run stands for the instructions it
// was decoded from and leaves what they would leave one by one: the stack
// below sp, the globals, R, pc and the budget. It makes no library call and
// raises no error; where one of its conditions does not hold (a global that
// does not hold an integer, too little stack or budget) the loop runs the
// instructions themselves. Nothing a script, a savegame or an error sees
// tells a decoded run from its instructions read afresh, and the code does
// not change under a loaded image (a new image empties the cache), so the
// code is decoded once rather than at every execution.

#include <cstdint>

struct tFusedItem {
    enum tWhat : uint8_t { Global, Constant, Add, Mul, Div };
    tWhat what;
    // Global: its index; Constant: the integer's bits.
    uint32_t value;
};

struct tFusedStep {
    // Store: `push ref global`, the items, `store`. Step: inc or dec of an
    // integer global. Branch: the items leave two integers, `eq`, then a
    // conditional jump to target. Jump: to target.
    enum : uint8_t { Store, Step, Branch, Jump } what;
    uint8_t firstItem;
    uint8_t itemCount;
    // Store: the expression sets R (it is not one constant). Step: inc.
    // Branch: the jump is taken on equality (jump-if-true).
    bool flag;
    uint32_t global;
    uint32_t target;
};

struct tFusedRun {
    static constexpr uint32_t kMaxSteps = 8;
    static constexpr uint32_t kMaxItems = 24;
    static constexpr uint32_t kMaxChecks = 8;
    // Instructions it stands for, counted against the budget.
    uint32_t instructions = 0;
    // Bytes the instructions push above sp at most.
    uint32_t height = 0;
    // pc after the run when its last step does not jump.
    uint32_t next = 0;
    uint8_t stepCount = 0;
    uint8_t itemCount = 0;
    uint8_t checkCount = 0;
    // Globals that must hold integers for the run to be taken.
    uint32_t checks[kMaxChecks];
    tFusedStep steps[kMaxSteps];
    tFusedItem items[kMaxItems];
};

// The run that starts at pc, or false when none does (it would stand for
// fewer than two instructions). Operands are checked as the loop checks
// them: a run holds only instructions that cannot fail.
bool DecodeFusedRun(const uint8_t* code, uint32_t size, uint32_t globalCount, uint32_t pc,
                    tFusedRun& run);

// Whether machines take fused runs; tests turn it off to run every
// instruction one by one and compare.
extern bool gScriptFusedRuns;
