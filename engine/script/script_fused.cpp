#include "engine/script/script_fused.h"

#include "engine/script/script_value.h"

namespace {

// Opcodes a run is made of.
constexpr uint8_t kPush = 1, kLoad = 2, kAdd = 3, kStore = 4, kMul = 7, kDiv = 8, kInc = 17,
                  kDec = 18, kJump = 19, kJumpFalse = 20, kJumpTrue = 22, kEqual = 24;

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

class Decoder {
public:
    Decoder(const uint8_t* code, uint32_t size, uint32_t globalCount, tFusedRun& run)
        : mCode(code), mSize(size), mGlobalCount(globalCount), mRun(run)
    {
    }

    // One step at pc; false leaves the run as it was.
    bool Step(uint32_t& pc)
    {
        const uint8_t itemsBefore = mRun.itemCount;
        const uint8_t checksBefore = mRun.checkCount;
        uint32_t at = pc;
        tFusedStep step{};
        uint32_t instructions = 0;
        uint32_t height = 0;
        if (Decode(at, step, instructions, height)) {
            mRun.steps[mRun.stepCount++] = step;
            mRun.instructions += instructions;
            if (height > mRun.height)
                mRun.height = height;
            pc = at;
            return true;
        }
        mRun.itemCount = itemsBefore;
        mRun.checkCount = checksBefore;
        return false;
    }

private:
    // A reference operand (kind byte and index) at `at` to a global that exists.
    bool Reference(uint32_t at, uint32_t& global) const
    {
        if (at >= mSize || mSize - at < 5 || mCode[at] != kScriptReference)
            return false;
        global = ReadU32(mCode + at + 1);
        return global < mGlobalCount;
    }

    bool Target(uint32_t at, uint32_t& target) const
    {
        if (at >= mSize || mSize - at < 4)
            return false;
        target = ReadU32(mCode + at);
        return target < mSize;
    }

    // The global must hold an integer whenever the run is taken.
    bool Check(uint32_t global)
    {
        for (uint32_t i = 0; i < mRun.checkCount; ++i)
            if (mRun.checks[i] == global)
                return true;
        if (mRun.checkCount == tFusedRun::kMaxChecks)
            return false;
        mRun.checks[mRun.checkCount++] = global;
        return true;
    }

    bool Decode(uint32_t& at, tFusedStep& step, uint32_t& instructions, uint32_t& height)
    {
        if (at >= mSize)
            return false;
        const uint8_t op = mCode[at];
        uint32_t global = 0;
        if (op == kInc || op == kDec) {
            if (!Reference(at + 1, global) || !Check(global))
                return false;
            step.what = tFusedStep::Step;
            step.global = global;
            step.flag = op == kInc;
            at += 6;
            instructions = 1;
            return true;
        }
        if (op == kJump) {
            if (!Target(at + 1, step.target))
                return false;
            step.what = tFusedStep::Jump;
            at += 5;
            instructions = 1;
            return true;
        }
        // A store starts with its target pushed.
        const bool store = op == kPush && Reference(at + 1, global);
        uint32_t below = 0;
        if (store) {
            step.global = global;
            at += 6;
            instructions = 1;
            below = 5;
        }
        step.firstItem = mRun.itemCount;
        uint32_t depth = 0;
        uint32_t deepest = 0;
        tFusedItem::tWhat last = tFusedItem::Constant;
        while (at < mSize && mRun.itemCount < tFusedRun::kMaxItems) {
            const uint8_t code = mCode[at];
            tFusedItem item{};
            uint32_t index = 0;
            if (code == kLoad && Reference(at + 1, index)) {
                if (!Check(index))
                    return false;
                item = {tFusedItem::Global, index};
                at += 6;
                ++depth;
            } else if (code == kPush && mSize - at >= 6 && mCode[at + 1] == kScriptInteger) {
                item = {tFusedItem::Constant, ReadU32(mCode + at + 2)};
                at += 6;
                ++depth;
            } else if ((code == kAdd || code == kMul || code == kDiv) && depth >= 2) {
                item.what = code == kAdd ? tFusedItem::Add : code == kMul ? tFusedItem::Mul : tFusedItem::Div;
                at += 1;
                --depth;
            } else {
                break;
            }
            last = item.what;
            mRun.items[mRun.itemCount++] = item;
            ++instructions;
            if (depth > deepest)
                deepest = depth;
        }
        step.itemCount = uint8_t(mRun.itemCount - step.firstItem);
        height = below + deepest * 5;
        if (store) {
            if (depth != 1 || at >= mSize || mCode[at] != kStore)
                return false;
            step.what = tFusedStep::Store;
            // One constant alone is pushed without passing through R.
            step.flag = last != tFusedItem::Constant;
            at += 1;
            instructions += 1;
            return true;
        }
        if (depth != 2 || at >= mSize || mSize - at < 6 || mCode[at] != kEqual ||
            (mCode[at + 1] != kJumpFalse && mCode[at + 1] != kJumpTrue) || !Target(at + 2, step.target))
            return false;
        step.what = tFusedStep::Branch;
        step.flag = mCode[at + 1] == kJumpTrue;
        at += 6;
        instructions += 2;
        return true;
    }

    const uint8_t* mCode;
    uint32_t mSize;
    uint32_t mGlobalCount;
    tFusedRun& mRun;
};

} // namespace

bool DecodeFusedRun(const uint8_t* code, uint32_t size, uint32_t globalCount, uint32_t pc,
                    tFusedRun& run)
{
    run = tFusedRun();
    Decoder decoder(code, size, globalCount, run);
    while (run.stepCount < tFusedRun::kMaxSteps && decoder.Step(pc)) {
        const auto what = run.steps[run.stepCount - 1].what;
        if (what == tFusedStep::Branch || what == tFusedStep::Jump)
            break;
    }
    run.next = pc;
    return run.instructions >= 2;
}
