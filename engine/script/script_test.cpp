#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "platform/win32/testing.h"
#include "tools/archive_writer.h"
#include "tools/script_assembler.h"

namespace {

using ::testing::HasSubstr;

class ScriptMachineTest : public ScriptTestBase {
protected:
    // The value on top of the machine's stack, popped from a copy of sp.
    cTarvelScriptValue Top(const cTarvelScript& m)
    {
        uint32_t sp = m.mSp;
        cTarvelScriptValue v;
        EXPECT_TRUE(PopScriptValue(m.mStack.get(), sp, v, m.mGlobals.data(),
                                   uint32_t(m.mGlobals.size())));
        return v;
    }
};

TEST_F(ScriptMachineTest, WorkedExampleLeavesEightOnTheStack)
{
    const uint8_t code[] = {0x01, 0x01, 0x05, 0x00, 0x00, 0x00, 0x01,
                            0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x15};
    std::string source = ".byte";
    for (uint8_t b : code)
        source += " " + std::to_string(b);
    auto m = Machine(source.c_str());
    EXPECT_EQ(m->CallFunction("", nullptr), 0);
    EXPECT_EQ(Top(*m).kind, kScriptInteger);
    EXPECT_EQ(Top(*m).integer, 8);
    EXPECT_EQ(m->mSp, 5u);
    EXPECT_FALSE(m->mRunning) << "a return with no saved state leaves the machine idle";
    EXPECT_EQ(m->mPc, 14u);
    // A second call starts with sp at the stack base again.
    EXPECT_EQ(m->CallFunction("", nullptr), 0);
    EXPECT_EQ(m->mSp, 5u);
}

struct tOpCase {
    const char* what;
    const char* code;   // leaves its result on the stack, then returns
    uint32_t kind;
    const char* string; // the result's string representation
    bool boolean;
};

// Keeps ctest's listing readable: the case's own text, not its bytes.
void PrintTo(const tOpCase& c, std::ostream* os) { *os << c.what; }

class ScriptOpcodeTest : public ScriptMachineTest,
                         public ::testing::WithParamInterface<tOpCase> {};

TEST_P(ScriptOpcodeTest, ComputesItsResult)
{
    const tOpCase& c = GetParam();
    std::string source = std::string("global G int\nglobal S string\nglobal B bool\n"
                                     "global F float\nglobal O result class=cView\n") +
                         c.code + "\nret\n";
    auto m = Machine(source.c_str());
    m->mGlobals[4].object = 1234;
    ASSERT_EQ(m->CallFunction("", nullptr), 0);
    cTarvelScriptValue top = Top(*m);
    EXPECT_EQ(top.kind, c.kind);
    EXPECT_STREQ(top.string.c_str(), c.string);
    EXPECT_EQ(top.boolean != 0, c.boolean);
}

const tOpCase kOpCases[] = {
    {"add ints", "push int 5\npush int 3\nadd", 1, "8", true},
    {"add wraps", "push int 2147483647\npush int 1\nadd", 1, "-2147483648", true},
    {"add floats", "push float 1.5\npush float 2.25\nadd", 2, "3.75", true},
    {"string plus int", "push string \"x\"\npush int 7\nadd", 3, "x7", false},
    {"int plus string", "push int 7\npush string \"x\"\nadd", 1, "7", true},
    {"bool plus bool keeps the left", "push bool false\npush bool true\nadd", 4, "false", false},
    {"multiply", "push int -6\npush int 7\nmul", 1, "-42", true},
    {"multiply wraps", "push int 65536\npush int 65536\nmul", 1, "0", false},
    {"multiply floats", "push float 1.5\npush float -2\nmul", 2, "-3.", true},
    {"divide truncates", "push int 7\npush int 2\ndiv", 1, "3", true},
    {"divide negative", "push int -7\npush int 2\ndiv", 1, "-3", true},
    {"divide by zero", "push int 7\npush int 0\ndiv", 1, "0", false},
    {"INT_MIN / -1", "push int -2147483648\npush int -1\ndiv", 1, "-2147483648", true},
    {"divide floats", "push float 1\npush float 4\ndiv", 2, "0.25", true},
    {"divide strings does nothing", "push string \"a\"\npush string \"b\"\ndiv", 3, "a", false},
    {"negate int", "push int 5\nneg", 1, "-5", true},
    {"negate INT_MIN", "push int -2147483648\nneg", 1, "-2147483648", true},
    {"negate float", "push float 0.5\nneg", 2, "-0.5", true},
    {"test int", "push int 0\ntest", 4, "false", false},
    {"test float", "push float 0.1\ntest", 4, "true", true},
    {"test string keeps its boolean", "push string \"true\"\ntest", 4, "true", true},
    {"test not negative", "push int -1\ntestnn", 4, "false", false},
    {"test not negative zero", "push int 0\ntestnn", 4, "true", true},
    {"test not negative NaN", "push kind 2 0x7FC00000\ntestnn", 4, "false", false},
    {"or ints", "push int 12\npush int 3\nor", 1, "15", true},
    {"and ints", "push int 12\npush int 6\nand", 1, "4", true},
    {"xor ints", "push int 12\npush int 6\nxor", 1, "10", true},
    {"or floats use the integers", "push float 4.9\npush float 1.2\nor", 2, "5.", true},
    {"or bools", "push bool false\npush bool true\nor", 4, "true", true},
    {"and bools", "push bool true\npush bool false\nand", 4, "false", false},
    {"xor bools", "push bool true\npush bool true\nxor", 4, "false", false},
    {"not", "push bool false\nnot", 4, "true", true},
    {"not of int unchanged", "push int 3\nnot", 1, "3", true},
    {"equal ignores case", "push string \"Door\"\npush string \"door\"\neq", 4, "true", true},
    {"equal strings differ", "push string \"Door\"\npush string \"Doors\"\neq", 4, "false", false},
    {"equal NaN", "push float 1\npush kind 2 0x7FC00000\neq", 4, "false", false},
    {"equal ints", "push int 4\npush int 4\neq", 4, "true", true},
    {"equal bools", "push bool false\npush bool false\neq", 4, "true", true},
    {"equal objects", "push result O\npush result O\neq", 4, "true", true},
    {"equal object and other", "push result O\npush int 1234\neq", 4, "false", false},
    {"held value", "push int 9\npoph\npush int 1\npushh", 1, "9", true},
    {"load copies the global", "push ref S\npush string \"abc\"\nstore\nload ref S", 3, "abc",
     false},
    {"load of a non-reference pushes R", "push int 1\npush int 2\nadd\nload int 5", 1, "3",
     true},
    {"store converts nothing", "push ref G\npush string \"12\"\nstore\nload ref G", 1, "0", false},
    {"store of a float into an int", "push ref G\npush float 2.5\nstore\nload ref G", 1, "2", true},
    {"inc int", "inc ref G\ninc ref G\nload ref G", 1, "2", true},
    {"dec int", "dec ref G\nload ref G", 1, "-1", true},
    {"inc float", "inc ref F\nload ref F", 2, "1.", true},
    {"inc string appends a blank", "push ref S\npush string \"ab\"\nstore\ninc ref S\nload ref S",
     3, "ab ", false},
    {"dec string drops the last", "push ref S\npush string \"ab\"\nstore\ndec ref S\nload ref S",
     3, "a", false},
    {"dec empty string", "dec ref S\nload ref S", 3, "", false},
    {"inc bool", "inc ref B\nload ref B", 4, "true", true},
    {"dec bool", "inc ref B\ndec ref B\nload ref B", 4, "false", false},
    {"inc of a non-reference", "inc int 5\npush int 1", 1, "1", true},
    {"loop with jumps",
     "top:\ninc ref G\nload ref G\npush int 10\neq\njz top\nload ref G", 1, "10", true},
    {"jump when true", "push bool true\njnz skip\npush int 1\nret\nskip:\npush int 2", 1, "2", true},
    {"jump when false not taken", "push bool true\njz skip\npush int 1\nret\nskip:\npush int 2",
     1, "1", true},
};

INSTANTIATE_TEST_SUITE_P(Opcodes, ScriptOpcodeTest, ::testing::ValuesIn(kOpCases),
                         [](const ::testing::TestParamInfo<tOpCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST_F(ScriptMachineTest, BadCodeIsFatalNeverUndefined)
{
    struct tCase {
        const char* code;
        const char* message;
    } cases[] = {
        {".byte 5", "Opcode not supported."},
        {".byte 0", "Opcode not supported."},
        {".byte 26", "Opcode not supported."},
        {".byte 254", "Opcode not supported."},
        {"push int 1\n.byte 19 0xFF 0 0 0", "Jump target outside the code."},
        {"push bool false\n.byte 20 0x10 0x27 0 0", "Jump target outside the code."},
        {".byte 1 3 0x41", "String operand runs past the code."},
        {".byte 1 1 0", "Operand runs past the code."},
        {"push object 3", "Global index out of range."},
        {"push ref 3", "Global index out of range."},
        {"call 4", "Import index out of range."},
        {".byte 23 9 0 0 0 0 0", "Global index out of range."},
        {"add", "Script stack underflow."},
        {"poph", "Script stack underflow."},
        {"loop:\npush string \"0123456789abcdef\"\njmp loop", "Script stack overflow."},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.code);
        std::string source = std::string("global G int\nimport cSystem__quitGame 0 none\n") +
                             "function Go\n" + c.code + "\n";
        auto m = Machine(source.c_str());
        EXPECT_FATAL(m->CallFunction("Go", nullptr), c.message);
        EXPECT_THAT(LastFatal(), HasSubstr("cTarvelScript::Run"));
    }
}

TEST_F(ScriptMachineTest, DamagedImagesAreFatalAndNameTheResource)
{
    const std::vector<uint8_t> good = AssembleScriptOrThrow(
        "global G int\nimport cSystem__quitGame 0 none\nfunction Go\nentry 1 2\nret\n");
    ASSERT_EQ(good.size(), 20u + 200 + 76 + 140 + 8 + 2);
    const size_t globalAt = 20, importAt = 220, functionAt = 296, codeAt = good.size() - 2;
    struct tCase {
        const char* what;
        size_t size;
        std::vector<std::pair<size_t, uint8_t>> patches;
        const char* message;
    } cases[] = {
        {"short header", 19, {}, "shorter than its header"},
        {"code size 0", good.size(), {{0, 0}}, "bad code size"},
        {"huge count", good.size(), {{7, 0x7F}}, "bad record count"},
        {"truncated code", good.size() - 1, {}, "run past the end"},
        {"more functions than bytes", good.size(), {{12, 2}}, "run past the end"},
        {"no end marker", good.size(), {{codeAt + 1, 0x15}}, "end marker"},
        {"global name unterminated", good.size(), {}, "global name not terminated"},
        {"import name unterminated", good.size(), {}, "import name not terminated"},
        {"function name unterminated", good.size(), {}, "function name not terminated"},
        {"function offset outside", good.size(), {{functionAt + 136, 2}}, "outside the code"},
        {"argument count", good.size(), {{importAt + 67, 1}}, "bad argument count"},
    };
    // Fill the text fields whole for the unterminated cases.
    for (size_t i = 0; i < 128; ++i)
        cases[6].patches.push_back({globalAt + 5 + i, 'a'});
    for (size_t i = 0; i < 64; ++i)
        cases[7].patches.push_back({importAt + i, 'a'});
    for (size_t i = 0; i < 136; ++i)
        cases[8].patches.push_back({functionAt + i, 'a'});

    for (const tCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image(good.begin(), good.begin() + std::ptrdiff_t(c.size));
        for (auto [at, byte] : c.patches)
            image[at] = byte;
        cTarvelScript m;
        EXPECT_FATAL(m.LoadImage(image.data(), image.size(), "scene01.a"), c.message);
        EXPECT_THAT(LastFatal(), HasSubstr("scene01.a"));
    }
    cTarvelScript m;
    EXPECT_EQ(m.LoadImage(good.data(), good.size(), "ok"), 0);
    EXPECT_EQ(m.mEntries.size(), 1u);
    EXPECT_EQ(m.mEntries[0].bytes[0], 1);
    EXPECT_EQ(m.mEntries[0].bytes[4], 2);
}

TEST_F(ScriptMachineTest, ImagesReadFromTheArchive)
{
    const std::vector<uint8_t> image = AssembleScriptOrThrow(
        "global PC result scope=1 class=cActor\nfunction Main::Init\npush int 4\nret\n");
    // The project resource keeps a 128-byte record in front of its image.
    std::vector<uint8_t> project(128, 0xAB);
    project.insert(project.end(), image.begin(), image.end());
    std::vector<uint8_t> cut(image.begin(), image.end() - 1);
    testkit::ArchiveWriter writer;
    writer.AddLocal(9, "nothing", kResourceOther, image, false);
    writer.AddShared(1, "hall.a", kResourceScene, image, true);
    writer.AddShared(1, "project", kResourceOther, project, false);
    writer.AddShared(1, "cut.a", kResourceScene, cut, false);
    std::string error;
    ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
    gTarvel.mConfig.Language = 9;
    ASSERT_EQ(gTarvel.mResources.Initialize(), 0);

    cTarvelScript scene;
    int slot = gTarvel.mResources.OpenResource("hall.a", kResourceScene);
    ASSERT_GT(slot, 0);
    EXPECT_EQ(scene.ReadSymbolTable(slot, "hall.a"), 0);
    gTarvel.mResources.CloseResource(slot);
    EXPECT_STREQ(scene.mName.c_str(), "hall.a");
    ASSERT_NE(scene.FindSymbol("PC", "cActor"), nullptr);
    EXPECT_EQ(scene.CallFunction("Main::Init", nullptr), 0);

    cTarvelScript main;
    slot = gTarvel.mResources.OpenResource("project", kResourceOther);
    gTarvel.mResources.Forward(slot, 128);
    EXPECT_EQ(main.ReadSymbolTable(slot, "project"), 0);
    gTarvel.mResources.CloseResource(slot);
    EXPECT_TRUE(main.HasFunction("Main::Init"));

    cTarvelScript damaged;
    slot = gTarvel.mResources.OpenResource("cut.a", kResourceScene);
    EXPECT_FATAL(damaged.ReadSymbolTable(slot, "cut.a"), "Script image cut.a is damaged");
    EXPECT_THAT(LastFatal(), HasSubstr("cTarvelScript::ReadSymbolTable"));
}

TEST_F(ScriptMachineTest, SymbolLookups)
{
    auto m = Machine(
        "global Door result class=cHotspot\nglobal Door object class=cPath\n"
        "global Plain int\nglobal Door int\n"
        "function Main::Init\nret\nfunction Door::Do\nret\n");
    EXPECT_EQ(m->FindSymbol("Door", "cHotspot"), &m->mGlobals[0]);
    EXPECT_EQ(m->FindSymbol("Door", "cPath"), &m->mGlobals[1]);
    EXPECT_EQ(m->FindSymbol("door", "cHotspot"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(m->FindSymbol("Plain", ""), &m->mGlobals[2]) << "an empty class matches only empty";
    EXPECT_EQ(m->FindSymbol("Plain", "cActor"), nullptr);
    EXPECT_EQ(m->FindGlobal("Door"), &m->mGlobals[0]) << "the first in image order";
    EXPECT_EQ(m->mGlobals[0].kind, kScriptResultObject);
    EXPECT_EQ(m->mGlobals[0].object, 0u);
    EXPECT_TRUE(m->HasFunction("main::init"));
    EXPECT_FALSE(m->HasFunction("Main::Start"));
    cTarvelScriptValue door;
    door.name = "DOOR";
    EXPECT_TRUE(m->FindQualified(&door, "do"));
    EXPECT_FALSE(m->FindQualified(nullptr, "Do"));

    auto empty = Machine("ret\n");
    EXPECT_TRUE(empty->mGlobals.empty());
    EXPECT_EQ(empty->FindSymbol("PC", "cActor"), nullptr);
    EXPECT_FALSE(empty->HasFunction("")) << "a machine without functions";
}

TEST_F(ScriptMachineTest, LiveListKeepsOrderWhenAMachineGoes)
{
    int32_t before = gLiveScripts.count;
    auto a = std::make_unique<cTarvelScript>();
    auto b = std::make_unique<cTarvelScript>();
    auto c = std::make_unique<cTarvelScript>();
    ASSERT_EQ(gLiveScripts.count, before + 3);
    b.reset();
    ASSERT_EQ(gLiveScripts.count, before + 2);
    EXPECT_EQ(gLiveScripts.data[before], a.get());
    EXPECT_EQ(gLiveScripts.data[before + 1], c.get());
}

TEST_F(ScriptMachineTest, EntryByNameLabelAndEvent)
{
    auto m = Machine(
        "global Which int\nglobal Door result class=cHotspot\n"
        "import test__record 0 none\n"
        "push ref Which\npush int 1\nstore\nret\n"                 // offset 0
        "function Main::Start\npush ref Which\npush int 2\nstore\nret\n"
        "function Door::DoInventory\npush ref Which\npush int 3\nstore\ncallg Which test__record\nret\n"
        "function DoInventory\npush ref Which\npush int 4\nstore\ncallg Which test__record\nret\n");
    auto which = [&] { return m->mGlobals[0].integer; };
    EXPECT_EQ(m->CallFunction("main::start", nullptr), 0);
    EXPECT_EQ(which(), 2);
    EXPECT_EQ(m->CallFunction("", nullptr), 0);
    EXPECT_EQ(which(), 1);
    EXPECT_EQ(m->CallFunction("#abc", nullptr), 0) << "letters read as offset 0";
    EXPECT_EQ(which(), 1);
    uint32_t startOffset = m->mFunctions[0].codeOffset;
    EXPECT_EQ(m->CallFunction(("#" + std::to_string(startOffset)).c_str(), nullptr), 0);
    EXPECT_EQ(which(), 2);
    EXPECT_EQ(m->CallFunction("Nothing", nullptr), -10);

    testing::internal::CaptureStderr();
    EXPECT_EQ(m->CallFunction("#100000", nullptr), -10);
    EXPECT_EQ(m->CallFunction("#-1", nullptr), -10);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("outside the code"));

    cTarvelScriptValue* door = &m->mGlobals[1];
    door->name = "Door";
    EXPECT_EQ(m->CallEvent(door, "DoInventory"), 0);
    EXPECT_EQ(which(), 3);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].machineThis, door) << "the object is the run's own object";
    EXPECT_EQ(m->CallEvent(nullptr, "DoInventory"), 0);
    EXPECT_EQ(which(), 4);
    EXPECT_EQ(Records()[1].machineThis, nullptr);
}

TEST_F(ScriptMachineTest, MachineOutsideTheLiveListDoesNothing)
{
    auto m = Machine("global G int\npush ref G\npush int 1\nstore\nret\n");
    gLiveScripts.RemoveAt(gLiveScripts.count - 1);
    EXPECT_EQ(m->CallFunction("", nullptr), -1);
    EXPECT_EQ(m->mGlobals[0].integer, 0);
    EXPECT_FALSE(m->HasFunction(""));
    gLiveScripts.Add(m.get());
}

// An integer argument in a slot that last held an object arrives as
// FromInt gives it, with no name or class left over.
TEST_F(ScriptMachineTest, IntegerArgumentsReuseSlotsCleanly)
{
    auto m = Machine("global Me result class=cActor\n"
                     "import test__record 1 none\n"
                     "push result Me\ncallg Me test__record\n"
                     "push int -3\ncallg Me test__record\n"
                     "push int 0\ncallg Me test__record\nret\n");
    m->mGlobals[0].name = "Me";
    m->mGlobals[0].object = 42;
    ASSERT_EQ(m->CallFunction("", nullptr), 0);
    ASSERT_EQ(Records().size(), 3u);
    EXPECT_STREQ(Records()[0].arguments[0].name.c_str(), "Me");
    for (int32_t value : {-3, 0}) {
        const cTarvelScriptValue& arg = Records()[value == 0 ? 2 : 1].arguments[0];
        cTarvelScriptValue expected = cTarvelScriptValue::FromInt(value);
        SCOPED_TRACE(value);
        EXPECT_EQ(arg.kind, expected.kind);
        EXPECT_EQ(arg.integer, expected.integer);
        EXPECT_EQ(arg.floatValue, expected.floatValue);
        EXPECT_EQ(arg.boolean, expected.boolean);
        EXPECT_EQ(arg.object, 0u);
        EXPECT_STREQ(arg.string.c_str(), expected.string.c_str());
        EXPECT_STREQ(arg.name.c_str(), "");
        EXPECT_STREQ(arg.className.c_str(), "");
    }
}

TEST_F(ScriptMachineTest, LibraryCallsPassArgumentsThisAndResult)
{
    auto m = Machine(
        "global Me result class=cActor\nglobal Out int\n"
        "import test__record 3 int\n"
        "push ref Out\n"
        "push int 1\npush string \"two\"\npush float 3\ncallg Me test__record\n"
        "store\n"
        "push result Me\npush int 4\npush int 5\npush int 6\ncall test__record\n"
        "ret\n");
    m->mGlobals[0].name = "Me";
    m->mGlobals[0].object = 42;
    ASSERT_EQ(m->CallFunction("", nullptr), 0);
    ASSERT_EQ(Records().size(), 2u);
    const tCallRecord& first = Records()[0];
    ASSERT_EQ(first.arguments.size(), 3u);
    EXPECT_EQ(first.arguments[0].integer, 1);
    EXPECT_STREQ(first.arguments[1].string.c_str(), "two");
    EXPECT_EQ(first.arguments[2].floatValue, 3.0f);
    EXPECT_EQ(first.thisValue, &m->mGlobals[0]) << "callg passes the global itself";
    EXPECT_EQ(first.resultKind, kScriptInteger);
    EXPECT_EQ(first.machine, m.get());
    EXPECT_EQ(m->mGlobals[1].integer, 100) << "the result was pushed and stored";
    const tCallRecord& second = Records()[1];
    EXPECT_NE(second.thisValue, &m->mGlobals[0]) << "call pops its this into a temporary";
    EXPECT_EQ(second.thisObject, 42u);
    EXPECT_STREQ(second.thisName.c_str(), "Me");
    EXPECT_EQ(second.arguments[2].integer, 6);
    EXPECT_EQ(Top(*m).integer, 101) << "the second result stays on the stack";
    EXPECT_STREQ(first.arguments[0].string.c_str(), "1");
    EXPECT_STREQ(second.arguments[1].string.c_str(), "5") << "the slot that held \"two\"";
    EXPECT_EQ(second.arguments[1].floatValue, 5.0f);
    EXPECT_EQ(second.arguments[1].boolean, 1);
    int32_t count = gLibraryFunctions.count;
    EXPECT_EQ(gLibraryFunctions.data[m->mImports[0].resolvedIndex].name, "test__record");
    ASSERT_EQ(m->CallFunction("", nullptr), 0);
    EXPECT_EQ(gLibraryFunctions.count, count) << "resolved once, from the cache";
}

TEST_F(ScriptMachineTest, CallTraceWritesEachLibraryCallWhenSwitchedOn)
{
    auto m = Machine(
        "import test__record 3 int\n"
        "push int 0\npush int 1\npush string \"two\"\npush float 2.5\ncall test__record\n"
        "ret\n");
    m->mName = "Main";
    gTarvel.mTimer.mGameTime = 1234;
    const std::string path = (TempDir() / "script-trace.log").string();
    StartScriptTrace(path.c_str());  // off: the setting is not there
    EXPECT_EQ(gScriptTrace, nullptr);
    platform::testing::SetSetting("script.trace", "1");
    StartScriptTrace(path.c_str());
    ASSERT_EQ(m->CallFunction("", nullptr), 0);
    StopScriptTrace();
    platform::testing::SetSetting("script.trace", "");
    ASSERT_EQ(m->CallFunction("", nullptr), 0);  // stopped: nothing more written
    FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char text[256] = {};
    const size_t got = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(text, got), "1234 Main test__record(1, \"two\", 2.5)\n");
}

TEST_F(ScriptMachineTest, ImportsResolveOnceThroughTheExportTable)
{
    auto m = Machine(
        "import cSystem__quitGame 0 none\nimport cActor__fly 0 none\n"
        "function Quit\npush int 0\ncall cSystem__quitGame\npush int 0\n"
        "call cSystem__quitGame\nret\n"
        "function Fly\npush int 0\ncall cActor__fly\nret\n");
    int32_t before = gLibraryFunctions.count;
    testing::internal::CaptureStderr();
    EXPECT_EQ(m->CallFunction("Quit", nullptr), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gLibraryFunctions.count, before + 1) << "the second call used the cached index";
    EXPECT_EQ(gLibraryFunctions.data[m->mImports[0].resolvedIndex].address,
              FindScriptExport("cSystem__quitGame"));
    EXPECT_FATAL(m->CallFunction("Fly", nullptr), "Library function cActor__fly not found.");
    EXPECT_THAT(LastFatal(), HasSubstr("cTarvelScript::GetLibraryFunctionAddress"));
}

TEST_F(ScriptMachineTest, SuspendAndResumeAtTheLabelWithTheStackDepth)
{
    auto m = Machine(
        "global Result int\nimport test__wait 0 none\n"
        "function Walk\npush ref Result\npush int 40\npush int 0\ncall test__wait\n"
        "push int 2\nadd\nstore\nret\n");
    EXPECT_EQ(m->CallFunction("Walk", nullptr), -1);
    EXPECT_FALSE(m->mRunning);
    ASSERT_EQ(m->mStates.size(), 1u);
    const std::string label = WaitLabel();
    uint32_t depth = m->mStates[0].sp;
    EXPECT_EQ(label, "#" + std::to_string(m->mStates[0].pc));
    EXPECT_EQ(m->mPc, m->mCode.size() - 1) << "pc on the end marker";
    EXPECT_EQ(m->mGlobals[0].integer, 0);

    EXPECT_EQ(m->CallFunction(label.c_str(), nullptr), 0);
    EXPECT_EQ(m->mGlobals[0].integer, 42) << "the code after the call saw the stack it left";
    EXPECT_TRUE(m->mStates.empty());
    EXPECT_EQ(m->mSp, depth) << "the return restored the suspension's state";
}

TEST_F(ScriptMachineTest, AnEventBeforeTheResumptionTakesTheSuspendedState)
{
    auto m = Machine(
        "global G int\nimport test__wait 0 none\nimport test__record 0 none\n"
        "function Walk\npush int 40\npush int 0\ncall test__wait\ncallg G test__record\nret\n"
        "function Other\npush int 7\nret\n");
    ASSERT_EQ(m->CallFunction("Walk", nullptr), -1);
    const std::string label = WaitLabel();
    // Resumed directly, the code after the wait sees the 40 it pushed.
    ASSERT_EQ(m->CallFunction(label.c_str(), nullptr), 0);
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].machineSp, 5u);

    auto n = Machine(
        "global G int\nimport test__wait 0 none\nimport test__record 0 none\n"
        "function Walk\npush int 40\npush int 0\ncall test__wait\ncallg G test__record\nret\n"
        "function Other\npush int 7\nret\n");
    ASSERT_EQ(n->CallFunction("Walk", nullptr), -1);
    EXPECT_EQ(n->CallFunction("Other", nullptr), 0);
    EXPECT_TRUE(n->mStates.empty()) << "the other event's return popped the suspension";
    EXPECT_EQ(n->CallFunction(WaitLabel().c_str(), nullptr), 0);
    ASSERT_EQ(Records().size(), 2u);
    EXPECT_EQ(Records()[1].machineSp, 0u) << "the late resumption starts on an empty stack";
}

TEST_F(ScriptMachineTest, SuspensionWithoutStateResumesOnAnEmptyStack)
{
    auto m = Machine(
        "global Result int\nimport test__waitNoState 0 none\n"
        "function Walk\npush int 40\npush int 0\ncall test__waitNoState\n"
        "push ref Result\npush int 2\nstore\nret\n");
    EXPECT_EQ(m->CallFunction("Walk", nullptr), -1);
    EXPECT_TRUE(m->mStates.empty());
    EXPECT_EQ(m->CallFunction(WaitLabel().c_str(), nullptr), 0);
    EXPECT_EQ(m->mSp, 0u) << "the 40 pushed before the wait is gone";
    EXPECT_EQ(m->mGlobals[0].integer, 2);
}

TEST_F(ScriptMachineTest, NestedEntryRestoresTheOuterRun)
{
    auto m = Machine(
        "global Inner int\nglobal Outer int\nimport test__callInner 0 none\n"
        "function Outer\npush ref Outer\npush int 5\npush int 0\ncall test__callInner\n"
        "store\nret\n"
        "function Inner\npush int 99\npush ref Inner\npush int 7\nstore\nret\n");
    EXPECT_EQ(m->CallFunction("Outer", nullptr), 0);
    EXPECT_EQ(m->mGlobals[0].integer, 7);
    EXPECT_EQ(m->mGlobals[1].integer, 5) << "the outer stack survived the nested run";
    EXPECT_EQ(NestedResult(), 0);
    EXPECT_TRUE(m->mStates.empty());
    EXPECT_FALSE(m->mRunning);
    EXPECT_EQ(m->mSp, 0u);
}

TEST_F(ScriptMachineTest, SuspensionInsideANestedRunEndsEveryRun)
{
    auto m = Machine(
        "global Done int\nimport test__callInner 0 none\nimport test__wait 0 none\n"
        "function Outer\npush int 0\ncall test__callInner\npush ref Done\npush int 1\nstore\nret\n"
        "function Inner\npush int 0\ncall test__wait\nret\n");
    EXPECT_EQ(m->CallFunction("Outer", nullptr), -1);
    EXPECT_EQ(NestedResult(), -1);
    EXPECT_EQ(m->mGlobals[0].integer, 0) << "the outer run did not go on";
    EXPECT_EQ(m->mStates.size(), 2u) << "the outer state and the suspension";
}

TEST_F(ScriptMachineTest, EndlessNestingIsStopped)
{
    auto m = Machine(
        "import test__callInner 0 none\n"
        "function Inner\npush int 0\ncall test__callInner\nret\n");
    EXPECT_FATAL(m->CallFunction("Inner", nullptr), "nested too deeply");
}

TEST_F(ScriptMachineTest, FunctionThatDestroysItsMachine)
{
    auto m = Machine(
        "global G int\nimport test__destroy 0 none\n"
        "function Go\npush int 0\ncall test__destroy\npush ref G\npush int 1\nstore\nret\n");
    cTarvelScript* raw = m.release();
    EXPECT_EQ(raw->CallFunction("Go", nullptr), -1);
    EXPECT_FALSE(cTarvelScript::IsLive(raw));
}

TEST_F(ScriptMachineTest, SharedVariablesTravelBetweenMachines)
{
    auto a = Machine(
        "global Gold int scope=1\nglobal PC result scope=2 class=cActor\n"
        "push ref Gold\npush int 3\nstore\nret\n");
    auto b = Machine(
        "global Gold int scope=1\nglobal Seen int\nglobal PC result scope=1 class=cActor\n"
        "global Local int scope=0\n"
        "push ref Seen\nload ref Gold\nstore\nret\n");
    cTarvelScriptValue pc;
    pc.kind = kScriptResultObject;
    pc.name = "PC";
    pc.object = 0x1234;
    gSharedSymbols.Add(pc);

    EXPECT_EQ(a->CallFunction("", nullptr), 0);
    EXPECT_EQ(a->mGlobals[1].object, 0x1234u) << "kind 7 takes the object";
    int32_t at = -1;
    for (int32_t i = 0; i < gSharedSymbols.count; ++i)
        if (gSharedSymbols.data[i].name == "Gold")
            at = i;
    ASSERT_GE(at, 0);
    EXPECT_EQ(gSharedSymbols.data[at].integer, 3);
    EXPECT_STREQ(gSharedSymbols.data[at].string.c_str(), "3") << "saved normalised";
    EXPECT_EQ(gSharedSymbols.count, 2) << "kind 7 is not saved";

    EXPECT_EQ(b->CallFunction("", nullptr), 0);
    EXPECT_EQ(b->mGlobals[1].integer, 3);
    EXPECT_EQ(b->mGlobals[2].object, 0x1234u);

    // A null object in the table does not clear a bound variable.
    gSharedSymbols.data[0].object = 0;
    EXPECT_EQ(b->CallFunction("", nullptr), 0);
    EXPECT_EQ(b->mGlobals[2].object, 0x1234u);
    // A shared variable that the table lacks starts from zero at entry.
    auto c = Machine("global Silver int scope=2\nret\n");
    c->mGlobals[0].integer = 8;
    EXPECT_EQ(c->CallFunction("", nullptr), 0);
    EXPECT_EQ(c->mGlobals[0].integer, 0);
}

TEST_F(ScriptMachineTest, InstructionBudgetEndsARunawayLoop)
{
    auto m = Machine("loop:\njmp loop\n");
    cTarvelScript::sInstructionBudget = 1000;
    EXPECT_EQ(m->CallFunction("", nullptr), -1);
    EXPECT_EQ(cTarvelScript::sInstructionBudget, 0);
    EXPECT_FALSE(m->mRunning);
}

TEST_F(ScriptMachineTest, SaveStateWritesOffsetsAndStates)
{
    auto m = Machine(
        "import test__wait 0 none\n"
        "function A\npush int 1\npush int 0\ncall test__wait\nret\n");
    // A run that returned: pc just after the return, no state.
    auto done = Machine("push int 1\nret\n");
    ASSERT_EQ(done->CallFunction("", nullptr), 0);
    {
        SavegameScope save;
        done->SaveState(gTarvel.mSavegame);
        EXPECT_EQ(save.Xml(), "<Root name=\"test\"><Code>7</Code><Stack>5</Stack></Root>");
    }
    // Two pushed states, newest first, read back in the same order.
    ASSERT_EQ(m->CallFunction("A", nullptr), -1);
    ASSERT_EQ(m->CallFunction("A", nullptr), -1);
    ASSERT_EQ(m->mStates.size(), 2u);
    m->mStates[0] = {3, 20};
    m->mStates[1] = {10, 40};
    std::string xml;
    {
        SavegameScope save;
        m->SaveState(gTarvel.mSavegame);
        xml = save.Xml();
    }
    EXPECT_EQ(xml, "<Root name=\"test\"><Code>" + std::to_string(m->mPc) +
                       "</Code><Stack>" + std::to_string(m->mSp) +
                       "</Stack><State><Code>10</Code><Stack>40</Stack></State>"
                       "<State><Code>3</Code><Stack>20</Stack></State></Root>");

    auto loaded = Machine(
        "import test__wait 0 none\n"
        "function A\npush int 1\npush int 0\ncall test__wait\nret\n");
    {
        SavegameScope load(xml);
        loaded->LoadState(gTarvel.mSavegame);
        EXPECT_EQ(load.Current(), "Root") << "the cursor is back where it was";
    }
    EXPECT_EQ(loaded->mPc, m->mPc);
    EXPECT_EQ(loaded->mSp, m->mSp);
    ASSERT_EQ(loaded->mStates.size(), 2u);
    EXPECT_EQ(loaded->mStates[1].pc, 10u);
    EXPECT_EQ(loaded->mStates[0].sp, 20u);
    EXPECT_FALSE(loaded->mRunning);
}

TEST_F(ScriptMachineTest, LoadStateRejectsOffsetsOutsideTheMachine)
{
    const char* bad[] = {
        "<Root><Code>500</Code><Stack>0</Stack></Root>",
        "<Root><Code>0</Code><Stack>16384</Stack></Root>",
        "<Root><Code>-1</Code></Root>",
        "<Root><State><Code>1</Code><Stack>-4</Stack></State></Root>",
    };
    for (const char* xml : bad) {
        SCOPED_TRACE(xml);
        auto m = Machine("push int 1\nret\n");
        m->mStates.push_back({1, 1});
        testing::internal::CaptureStderr();
        {
            SavegameScope load(xml);
            m->LoadState(gTarvel.mSavegame);
        }
        EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("reset"));
        EXPECT_EQ(m->mPc, 0u);
        EXPECT_EQ(m->mSp, 0u);
        EXPECT_TRUE(m->mStates.empty());
    }
    auto m = Machine("push int 1\nret\n");
    {
        SavegameScope load("<Root/>");
        m->LoadState(gTarvel.mSavegame);
    }
    EXPECT_EQ(m->mPc, 0u) << "missing values read as 0";
    EXPECT_EQ(m->mSp, 0u);
}

} // namespace
