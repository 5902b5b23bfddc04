// The loop with its fused runs against the same loop taking every
// instruction on its own: each case runs both ways and must give the same
// result, error, pc, sp, budget, stack bytes and globals. R is seen through
// `load int 0`, which pushes R as it stands.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/fatal.h"
#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_fused.h"
#include "engine/script/script_test_support.h"

namespace {

struct tFatal {
    std::string text;
};

[[noreturn]] void ThrowFatal(const char* text)
{
    throw tFatal{text};
}

struct tGlobal {
    uint32_t kind;
    int32_t integer;
    uint32_t floatBits;
    uint8_t boolean;
    uint32_t object;
    std::string string;
    bool operator==(const tGlobal&) const = default;
};

struct tOutcome {
    std::vector<int> results;
    std::string fatal;
    uint32_t pc = 0;
    uint32_t sp = 0;
    int64_t budget = 0;
    std::vector<uint8_t> stack;
    std::vector<tGlobal> globals;
    bool live = true;
    bool operator==(const tOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const tOutcome& o)
{
    out << "fatal \"" << o.fatal << "\" pc " << o.pc << " sp " << o.sp << " budget " << o.budget
        << " live " << o.live << " results";
    for (int r : o.results)
        out << " " << r;
    for (const tGlobal& g : o.globals)
        out << " [" << g.kind << " " << g.integer << " " << g.floatBits << " " << int(g.boolean) << " \""
            << g.string << "\"]";
    return out;
}

const char* const kGlobals = "global I int\nglobal Acc int\nglobal F float\nglobal S string\n"
                             "global N int\nglobal Me result class=cSystem\n";

class ScriptFusedTest : public ScriptTestBase {
protected:
    void TearDown() override
    {
        gScriptFusedRuns = true;
        cTarvelScript::sInstructionBudget = -1;
        ScriptTestBase::TearDown();
    }

    // Runs "Go" (then, while it suspends, its label) with fused runs on or
    // off. The globals start from values every case can read.
    tOutcome Run(const std::string& body, int64_t budget, bool fused, bool resumeFromSave = false)
    {
        gScriptFusedRuns = fused;
        const std::string source = kGlobals + body;
        auto m = Machine(source.c_str());
        m->mGlobals[2].floatValue = 2.5f;
        m->mGlobals[3].string = "s";
        m->mGlobals[4].integer = 5;
        cTarvelScript::sInstructionBudget = budget;
        tOutcome out;
        cTarvelScript* raw = m.get();
        SetFatalErrorHook(ThrowFatal);
        try {
            int result = raw->CallFunction("Go", nullptr);
            out.results.push_back(result);
            // A waiting script goes on from its label, at most a few times;
            // with resumeFromSave a fresh machine takes its saved state first.
            for (int i = 0; i < 8 && result == -1 && cTarvelScript::IsLive(raw) && !WaitLabel().empty(); ++i) {
                if (resumeFromSave) {
                    std::string xml;
                    {
                        SavegameScope save;
                        raw->SaveState(gTarvel.mSavegame);
                        xml = save.Xml();
                    }
                    auto next = Machine(source.c_str());
                    // Private variables are not saved: carry them by hand.
                    next->mGlobals = raw->mGlobals;
                    {
                        SavegameScope load(xml);
                        next->LoadState(gTarvel.mSavegame);
                    }
                    m = std::move(next);
                    raw = m.get();
                }
                const std::string label = WaitLabel();
                result = raw->CallFunction(label.c_str(), nullptr);
                out.results.push_back(result);
            }
        } catch (const tFatal& fatal) {
            out.fatal = fatal.text.substr(0, fatal.text.find("File:"));
        }
        SetFatalErrorHook(nullptr);
        out.budget = cTarvelScript::sInstructionBudget;
        cTarvelScript::sInstructionBudget = -1;
        out.live = cTarvelScript::IsLive(raw);
        if (!out.live) {
            (void)m.release(); // deleted by the script
            return out;
        }
        out.pc = raw->mPc;
        out.sp = raw->mSp;
        if (out.fatal.empty())
            out.stack.assign(raw->mStack.get() + 1, raw->mStack.get() + 1 + raw->mSp);
        for (const cTarvelScriptValue& g : raw->mGlobals) {
            tGlobal v{g.kind, g.integer, 0, g.boolean, g.object, g.string.c_str()};
            std::memcpy(&v.floatBits, &g.floatValue, 4);
            out.globals.push_back(v);
        }
        return out;
    }

    void ExpectSame(const std::string& body, int64_t budget, bool resumeFromSave = false)
    {
        const tOutcome plain = Run(body, budget, false, resumeFromSave);
        const tOutcome fused = Run(body, budget, true, resumeFromSave);
        EXPECT_EQ(fused, plain) << "budget " << budget;
    }
};

// x = x + i * 3 and a loop on i, the shape the benchmark measures.
const char* const kLoop = "function Go\n"
                          "loop:\n"
                          "push ref Acc\nload ref Acc\nload ref I\npush int 3\nmul\nadd\nstore\n"
                          "inc ref I\n"
                          "load ref I\npush int 7\neq\njz loop\n"
                          "load int 0\nret\n";

struct tCase {
    const char* name;
    std::string body;
};

const tCase kCases[] = {
    {"loop", kLoop},
    {"every operation, both jumps, dec",
     "function Go\nloop:\n"
     "push ref Acc\nload ref N\nload ref Acc\npush int -2\nmul\nadd\npush int 3\ndiv\nstore\n"
     "dec ref N\nload ref N\npush int 0\neq\njnz done\njmp loop\ndone:\nload int 0\nret\n"},
    {"a constant alone keeps R",
     "function Go\nload ref F\npush ref I\npush int 9\nstore\nload int 0\nret\n"},
    {"a load alone sets R", "function Go\nload ref F\npush ref I\nload ref N\nstore\nload int 0\nret\n"},
    {"a compare sets R",
     "function Go\nload ref I\npush int 0\neq\njnz over\npush int 1\nover:\nload int 0\nret\n"},
    {"division by zero and the one division that overflows",
     "function Go\npush ref I\npush int -2147483648\npush int -1\ndiv\nstore\n"
     "push ref Acc\nload ref N\npush int 0\ndiv\nstore\n"
     "push ref N\nload ref N\npush int 2147483647\nmul\npush int 9\nadd\nstore\nret\n"},
    {"a float read by a statement", "function Go\npush ref I\nload ref F\npush int 2\nmul\nstore\nret\n"},
    {"a store into a string takes the integer's text",
     "function Go\npush ref S\nload ref N\npush int 2\nadd\nstore\ninc ref I\nret\n"},
    {"an increment of a string", "function Go\ninc ref I\ninc ref S\ndec ref N\nload ref I\nload ref N\neq\njz x\nx:\nret\n"},
    {"a jump outside the code, not taken",
     "function Go\nload ref I\npush int 1\neq\n.byte 22 159 134 1 0\ninc ref I\ninc ref I\nret\n"},
    {"a jump outside the code, taken", "function Go\nload ref I\npush int 0\neq\n.byte 22 159 134 1 0\nret\n"},
    {"a jump into a statement",
     "function Go\npush ref Acc\nagain:\nload ref Acc\npush int 2\nadd\nstore\ninc ref I\n"
     "push ref Acc\nload ref I\npush int 4\neq\njz again\nret\n"},
    {"a jump into an operand", "function Go\ninc ref I\nload ref I\npush int 3\neq\n.byte 20 2 0 0 0\nret\n"},
    {"a run ending on a bad opcode", "function Go\ninc ref I\ninc ref Acc\n.byte 5\n"},
    {"a run ending at the end marker", "function Go\ninc ref I\ninc ref Acc\n"},
    {"a run on a stack below the values under it",
     "function Go\npush int 11\npush string \"under\"\ninc ref I\ninc ref I\npush ref Acc\nload ref I\nstore\n"
     "load ref I\npush int 0\neq\njz x\nx:\nret\n"},
    {"a suspension inside a loop",
     "import test__wait 0 none\nfunction Go\nloop:\n"
     "push ref Acc\nload ref Acc\nload ref I\nadd\nstore\ninc ref I\npush int 0\ncall test__wait\n"
     "load ref I\npush int 4\neq\njz loop\nret\n"},
    {"a nested run that decodes runs of its own",
     "import test__callInner 0 none\nfunction Go\nloop:\n"
     "push ref Acc\nload ref Acc\npush int 1\nadd\nstore\npush int 0\ncall test__callInner\n"
     "inc ref I\nload ref I\npush int 3\neq\njz loop\nret\n"
     "function Inner\n"
     "push ref N\nload ref N\npush int 1\nadd\nstore\ninc ref N\n"
     "push ref N\nload ref N\npush int 2\nmul\nstore\ninc ref N\n"
     "push ref N\nload ref N\npush int 3\nadd\nstore\ninc ref N\n"
     "push ref N\nload ref N\npush int 4\nmul\nstore\ninc ref N\n"
     "push ref N\nload ref N\npush int 5\nadd\nstore\ninc ref N\n"
     "push ref N\nload ref N\npush int 6\nmul\nstore\ninc ref N\nret\n"},
    {"a call that destroys the machine inside a loop",
     "import test__destroy 0 none\nfunction Go\nloop:\ninc ref I\ninc ref Acc\n"
     "load ref I\npush int 3\neq\njz loop\npush int 0\ncall test__destroy\ninc ref I\nret\n"},
};

TEST_F(ScriptFusedTest, EveryCaseRunsAsTheInstructionsOneByOne)
{
    for (const tCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ExpectSame(c.body, -1);
        ExpectSame(c.body, 1000);
    }
}

// A bounded run ends at the same instruction whatever instruction of a run
// the budget runs out on.
TEST_F(ScriptFusedTest, TheBudgetEndsARunWhereItEndsTheInstructions)
{
    for (int64_t budget = 0; budget <= 90 && !HasFailure(); ++budget)
        ExpectSame(kLoop, budget);
    const tOutcome done = Run(kLoop, 1000, true);
    EXPECT_EQ(done.results, std::vector<int>{0});
    EXPECT_EQ(done.budget, 1000 - 7 * 12 - 2) << "every instruction counted";
    EXPECT_EQ(done.globals[1].integer, 3 * (0 + 1 + 2 + 3 + 4 + 5 + 6));
}

// Near the top of the stack a run is not taken; its instructions overflow
// the stack at the same push.
TEST_F(ScriptFusedTest, AStackTooFullForARunOverflowsAtTheSamePush)
{
    for (int length = 16355; length <= 16372 && !HasFailure(); ++length) {
        SCOPED_TRACE("string of " + std::to_string(length));
        const std::string body = "function Go\npush string \"" + std::string(size_t(length), 'x') +
                                 "\"\npush ref Acc\nload ref N\nload ref N\npush int 3\nmul\nadd\nstore\n"
                                 "load ref N\npush int 5\neq\n.byte 20 0 0 0 0\nret\n";
        ExpectSame(body, -1);
    }
}

// A machine saved while its loop waits, loaded into a fresh machine and
// resumed there, goes on as it would have.
TEST_F(ScriptFusedTest, AMachineSavedInsideALoopResumesTheSame)
{
    const std::string body = "import test__wait 0 none\nfunction Go\nloop:\n"
                             "push ref Acc\nload ref Acc\nload ref I\npush int 3\nmul\nadd\nstore\n"
                             "inc ref I\npush int 0\ncall test__wait\n"
                             "load ref I\npush int 4\neq\njz loop\nret\n";
    ExpectSame(body, -1, true);
    const tOutcome fused = Run(body, -1, true, true);
    EXPECT_EQ(fused.results, (std::vector<int>{-1, -1, -1, -1, 0}));
    EXPECT_EQ(fused.globals[1].integer, 3 * (0 + 1 + 2 + 3));
}

} // namespace
