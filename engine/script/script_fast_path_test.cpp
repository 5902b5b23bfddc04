// The machine's loop against the plain interpreter kept in
// script_reference.cpp: random programs over globals of every kind must
// leave the same stack bytes, globals, pc, sp, budget and error text.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/fatal.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/script/script_fused.h"
#include "engine/script/script_reference.h"
#include "engine/script/script_test_support.h"
#include "tools/script_assembler.h"

namespace {

namespace op = script_op;

const char* const kGlobals =
    "global I int\n"
    "global F float\n"
    "global S string\n"
    "global B bool\n"
    "global O object class=cItem\n"
    "global R ref\n"
    "global X result class=cSystem\n"
    "global N 9\n";
constexpr uint32_t kGlobalCount = 8;

class ProgramWriter {
public:
    explicit ProgramWriter(uint32_t seed) : mRandom(seed) {}

    std::vector<uint8_t> Code()
    {
        // Values first, so most programs get far before they run dry.
        for (int i = Pick(0, 8); i > 0; --i) {
            Byte(op::kPush);
            Operand();
        }
        int count = Pick(4, 40);
        for (int i = 0; i < count; ++i)
            Instruction();
        if (Pick(0, 3) == 0)
            Byte(op::kReturn);
        return mCode;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(mRandom); }
    void Byte(uint32_t b) { mCode.push_back(uint8_t(b)); }
    void Word(uint32_t w)
    {
        for (int i = 0; i < 4; ++i)
            Byte(w >> (8 * i));
    }
    uint32_t Number()
    {
        static const uint32_t values[] = {0, 1, 2, 3, 7, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu,
                                          0x3F800000u /* 1.0f */, 0xC0490FDBu /* -pi */,
                                          0x7FC00000u /* NaN */};
        return Pick(0, 3) == 0 ? uint32_t(mRandom()) : values[Pick(0, 10)];
    }
    uint32_t Global() { return Pick(0, 12) == 0 ? kGlobalCount + Pick(0, 2) : Pick(0, kGlobalCount - 1); }
    // A reference operand, mostly to the integer global.
    void Reference()
    {
        Byte(Pick(0, 9) == 0 ? 1 : 6);
        Word(Pick(0, 2) == 0 ? Global() : 0);
    }
    void Operand()
    {
        int kind = Pick(0, 13);
        if (kind == 3) {
            Byte(kind);
            static const char* const texts[] = {"", "true", "TRUE", "abc", "12", "1.5"};
            for (const char* c = texts[Pick(0, 5)]; *c; ++c)
                Byte(*c);
            Byte(0);
        } else if (kind >= 5 && kind <= 7) {
            Byte(kind);
            Word(Global());
        } else if (kind == 8) {
            Byte(6); // references dominate real code
            Word(Global());
        } else {
            Byte(kind >= 9 ? 1 : kind); // integers dominate real code too
            Word(Number());
        }
    }
    void Instruction()
    {
        static const uint8_t plain[] = {op::kAdd, op::kStore, op::kNeg, op::kMul, op::kDiv,
                                        op::kPushHeld, op::kPopHeld, op::kTest, op::kOr, op::kAnd,
                                        op::kXor, op::kNot, op::kTestNotNegative, op::kEqual};
        switch (Pick(0, 15)) {
        case 0:
        case 1:
        case 2:
            Byte(op::kPush);
            Operand();
            break;
        case 3:
        case 4:
            Byte(Pick(0, 1) ? op::kLoad : Pick(0, 1) ? op::kInc : op::kDec);
            Operand();
            break;
        case 5:
            Byte(Pick(0, 2) == 0 ? op::kJump : Pick(0, 1) ? op::kJumpFalse : op::kJumpTrue);
            // Mostly backwards or a little ahead, sometimes outside the code.
            Word(Pick(0, 9) == 0 ? uint32_t(Pick(0, 600)) : uint32_t(Pick(0, int(mCode.size()) + 8)));
            break;
        case 13:
            // A test and a jump on it, as loops end.
            Byte(op::kEqual);
            Byte(Pick(0, 1) ? op::kJumpFalse : op::kJumpTrue);
            Word(Pick(0, 9) == 0 ? uint32_t(Pick(0, 600)) : uint32_t(Pick(0, int(mCode.size()) + 8)));
            break;
        case 14:
        case 15: {
            // A statement as scripts compile them: a global and a constant
            // operated on, its result stored or tested, as in x = x + i * 3
            // and a loop's end test.
            bool stored = Pick(0, 1) == 0;
            if (stored) {
                Byte(op::kPush);
                Reference();
                if (Pick(0, 1)) {
                    Byte(op::kLoad);
                    Reference();
                }
            }
            Byte(op::kLoad);
            Reference();
            Byte(op::kPush);
            Byte(Pick(0, 5) == 0 ? 2 : 1);
            Word(Number());
            static const uint8_t operations[] = {op::kAdd, op::kMul, op::kDiv, op::kEqual};
            Byte(operations[Pick(0, 3)]);
            if (Pick(0, 1))
                Byte(Pick(0, 1) ? op::kAdd : op::kMul);
            if (stored)
                Byte(op::kStore);
            else if (Pick(0, 1)) {
                Byte(Pick(0, 1) ? op::kJumpFalse : op::kJumpTrue);
                Word(uint32_t(Pick(0, int(mCode.size()) + 8)));
            }
            break;
        }
        case 6:
            if (Pick(0, 9) == 0) {
                // Any byte but a call, usually an unsupported opcode.
                uint32_t b = uint32_t(Pick(0, 255));
                Byte(b == op::kCall || b == op::kCallGlobal ? 0 : b);
            } else
                Byte(plain[Pick(0, 13)]);
            break;
        default:
            Byte(plain[Pick(0, 13)]);
            break;
        }
    }

    std::mt19937 mRandom;
    std::vector<uint8_t> mCode;
};

struct tFatal {
    std::string text;
};

[[noreturn]] void ThrowFatal(const char* text)
{
    throw tFatal{text};
}

struct tOutcome {
    int result = 0;
    std::string fatal;
    uint32_t pc = 0;
    uint32_t sp = 0;
    int64_t budget = 0;
    std::vector<uint8_t> stack;
    std::vector<cTarvelScriptValue> globals;
};

class ScriptFastPathTest : public ScriptTestBase {
protected:
    template <class Run>
    tOutcome Outcome(const std::string& source, int64_t budget, Run run)
    {
        auto m = Machine(source.c_str());
        // Values the globals start from, so the loads show something.
        m->mGlobals[0].integer = 41;
        m->mGlobals[1].floatValue = 2.5f;
        m->mGlobals[2].string = "text";
        m->mGlobals[3].boolean = 1;
        m->mGlobals[4].object = 7;
        m->mGlobals[5].integer = 2;
        m->mGlobals[6].object = 9;
        cTarvelScript::sInstructionBudget = budget;
        tOutcome out;
        bool failed = false;
        SetFatalErrorHook(ThrowFatal);
        try {
            out.result = run(*m);
        } catch (const tFatal& fatal) {
            // The message and the function; the reporter's line number is
            // where each interpreter's source happens to raise it.
            out.fatal = fatal.text.substr(0, fatal.text.find("File:"));
            failed = true;
        }
        SetFatalErrorHook(nullptr);
        out.pc = m->mPc;
        out.sp = m->mSp;
        out.budget = cTarvelScript::sInstructionBudget;
        // After an error only the message counts: where a run stops inside a
        // failing instruction is not part of its behaviour.
        if (!failed) {
            out.stack.assign(m->mStack.get() + 1, m->mStack.get() + 1 + m->mSp);
            out.globals = m->mGlobals;
        }
        return out;
    }
};

void ExpectSameValue(const cTarvelScriptValue& a, const cTarvelScriptValue& b, size_t index)
{
    SCOPED_TRACE("global " + std::to_string(index));
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.integer, b.integer);
    uint32_t fa, fb;
    std::memcpy(&fa, &a.floatValue, 4);
    std::memcpy(&fb, &b.floatValue, 4);
    EXPECT_EQ(fa, fb);
    EXPECT_EQ(a.boolean, b.boolean);
    EXPECT_EQ(a.object, b.object);
    EXPECT_STREQ(a.string.c_str(), b.string.c_str());
    EXPECT_STREQ(a.name.c_str(), b.name.c_str());
    EXPECT_STREQ(a.className.c_str(), b.className.c_str());
}

TEST_F(ScriptFastPathTest, RandomProgramsMatchThePlainInterpreter)
{
    int failures = 0, clean = 0, unboundedRuns = 0;
    for (uint32_t seed = 1; seed <= 1500 && !HasFailure(); ++seed) {
        std::vector<uint8_t> code = ProgramWriter(seed).Code();
        std::string source = std::string(kGlobals) + "function Go\n.byte";
        for (uint8_t b : code)
            source += " " + std::to_string(b);
        source += "\n";
        // Most runs end on the program's own terms; some run out of budget
        // at an instruction anywhere in them.
        int64_t budget = seed % 3 == 0 ? int64_t(seed / 3 % 40) : 300;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", budget " + std::to_string(budget));
        tOutcome expected =
            Outcome(source, budget, [](cTarvelScript& m) { return ReferenceRun(m, 0); });
        if (expected.fatal.find(kReferenceMakesNoCalls) != std::string::npos)
            continue; // a jump into an operand found a call opcode
        auto compare = [&](const tOutcome& actual) {
            EXPECT_EQ(actual.fatal, expected.fatal);
            if (!expected.fatal.empty())
                return;
            EXPECT_EQ(actual.result, expected.result);
            EXPECT_EQ(actual.pc, expected.pc);
            EXPECT_EQ(actual.sp, expected.sp);
            EXPECT_EQ(actual.stack, expected.stack);
            ASSERT_EQ(actual.globals.size(), expected.globals.size());
            for (size_t i = 0; i < expected.globals.size(); ++i)
                ExpectSameValue(actual.globals[i], expected.globals[i], i);
        };
        // With the loop's fused runs and without.
        for (const bool fused : {true, false}) {
            SCOPED_TRACE(fused ? "fused" : "one by one");
            gScriptFusedRuns = fused;
            tOutcome counted = Outcome(source, budget,
                                       [](cTarvelScript& m) { return m.CallFunction("Go", nullptr); });
            EXPECT_EQ(counted.budget, expected.budget);
            compare(counted);
            // A program that ended before its budget ran out ends the same
            // way in the loop that counts nothing.
            if (expected.budget > 0) {
                SCOPED_TRACE("unbounded");
                tOutcome unbounded =
                    Outcome(source, -1, [](cTarvelScript& m) { return m.CallFunction("Go", nullptr); });
                EXPECT_EQ(unbounded.budget, -1);
                compare(unbounded);
                ++unboundedRuns;
            }
        }
        gScriptFusedRuns = true;
        if (expected.fatal.empty())
            ++clean;
        else
            ++failures;
    }
    // The programs reach both ends: errors and clean runs.
    EXPECT_GT(failures, 100);
    EXPECT_GT(clean, 300);
    EXPECT_GT(unboundedRuns, 600);
}

// Numbers stored into globals keep their text exactly as a store would have
// written it, also when the global changes again before anyone looks.
TEST_F(ScriptFastPathTest, StoredNumbersShowTheirTextOutsideTheLoop)
{
    auto m = Machine("global I int\nglobal F float\nglobal S string\nglobal B bool\n"
                     "function Go\n"
                     "push ref I\npush int -12\nstore\ninc ref I\n"
                     "push ref F\npush float 0.5\nstore\n"
                     "push ref S\npush int 3\nstore\ninc ref S\n"
                     "push ref B\npush bool true\nstore\nret\n");
    ASSERT_EQ(m->CallFunction("Go", nullptr), 0);
    EXPECT_EQ(m->mGlobals[0].integer, -11);
    EXPECT_STREQ(m->mGlobals[0].string.c_str(), "-12") << "inc leaves the string as stored";
    EXPECT_STREQ(m->mGlobals[1].string.c_str(), "0.5");
    EXPECT_STREQ(m->mGlobals[2].string.c_str(), "3 ") << "inc of a string appends to the stored text";
    EXPECT_STREQ(m->mGlobals[3].string.c_str(), "true");
}

} // namespace

namespace {

std::vector<std::string> gSeenTexts;

int32_t LookAtTexts(tScriptFrame* frame)
{
    for (const cTarvelScriptValue& g : frame->machine->mGlobals)
        gSeenTexts.push_back(g.string.c_str());
    return 0;
}

} // namespace

// A library function sees the text of every number stored into a string
// variable or a shared variable before the call; a private number's text,
// which only the machine reads, is there when the run ends.
TEST_F(ScriptFastPathTest, NumbersStoredBeforeACallShowTheirTextToTheCall)
{
    cTarvelScript::AddLibraryFunction("test__look", LookAtTexts);
    gSeenTexts.clear();
    auto m = Machine("global S string\nglobal Shared int scope=1\nglobal I int\n"
                     "import test__look 0 none\n"
                     "function Go\n"
                     "push ref S\npush int 3\nstore\n"
                     "push ref Shared\npush int 5\nstore\n"
                     "push ref I\npush int 7\nstore\n"
                     "callg S test__look\nret\n");
    ASSERT_EQ(m->CallFunction("Go", nullptr), 0);
    ASSERT_EQ(gSeenTexts.size(), 3u);
    EXPECT_EQ(gSeenTexts[0], "3");
    EXPECT_EQ(gSeenTexts[1], "5");
    EXPECT_STREQ(m->mGlobals[2].string.c_str(), "7");
}

namespace {

std::vector<std::string> gArgumentTexts;

int32_t ReadArgumentTexts(tScriptFrame* frame)
{
    const int32_t first = ScriptArgInt(frame, 0);
    gArgumentTexts.push_back(std::to_string(first) + " " + ScriptArgString(frame, 0) + " " +
                             ScriptArgString(frame, 1) + " " + ScriptArgString(frame, 5));
    return 0;
}

} // namespace

// The text of an integer argument is made when a function first asks for a
// text, and it is the text of this call's integer, not of an earlier one.
TEST_F(ScriptFastPathTest, IntegerArgumentsShowTheirTextWhenRead)
{
    cTarvelScript::AddLibraryFunction("test__texts", ReadArgumentTexts);
    gArgumentTexts.clear();
    auto m = Machine("global Me result class=cSystem\nglobal I int\n"
                     "import test__texts 2 none\n"
                     "function Go\n"
                     "push int 7\npush int -42\ncallg Me test__texts\n"
                     "push int 8\npush string \"x\"\ncallg Me test__texts\n"
                     "load ref I\npush int 1000\ncallg Me test__texts\nret\n");
    m->mGlobals[1].integer = 123;
    ASSERT_EQ(m->CallFunction("Go", nullptr), 0);
    EXPECT_THAT(gArgumentTexts, ::testing::ElementsAre("7 7 -42 -42", "8 8 x x", "123 123 1000 1000"));
}

namespace {

int64_t gBudgetToSet = 0;

int32_t SetBudget(tScriptFrame*)
{
    cTarvelScript::sInstructionBudget = gBudgetToSet;
    return 0;
}

} // namespace

// A library call that bounds or frees the budget takes effect at once in
// the rest of the run.
TEST_F(ScriptFastPathTest, ABudgetSetByALibraryCallHoldsForTheRestOfTheRun)
{
    cTarvelScript::AddLibraryFunction("test__budget", SetBudget);
    const char* source = "global Me result class=cSystem\n"
                         "import test__budget 0 none\n"
                         "function Go\n"
                         "callg Me test__budget\n"
                         "push int 1\npush int 2\npush int 3\nret\n";
    auto bounded = Machine(source);
    cTarvelScript::sInstructionBudget = -1;
    gBudgetToSet = 2;
    EXPECT_EQ(bounded->CallFunction("Go", nullptr), -1) << "ended by the budget";
    EXPECT_EQ(bounded->mSp, 10u) << "two pushes ran";
    EXPECT_EQ(cTarvelScript::sInstructionBudget, 0);

    auto freed = Machine(source);
    cTarvelScript::sInstructionBudget = 1;
    gBudgetToSet = -1;
    EXPECT_EQ(freed->CallFunction("Go", nullptr), 0) << "ran to its return";
    EXPECT_EQ(cTarvelScript::sInstructionBudget, -1);
    cTarvelScript::sInstructionBudget = -1;
}
