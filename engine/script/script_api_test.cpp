#include <cstring>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "tools/script_assembler.h"

namespace {

using ::testing::HasSubstr;

using ScriptApiTest = ScriptTestBase;

TEST_F(ScriptApiTest, ExportTableHoldsEveryNameOnce)
{
    ASSERT_EQ(gScriptExportCount, 192);
    std::set<tScriptExportFunction> entryPoints;
    std::set<std::string> classes;
    for (int32_t i = 0; i < gScriptExportCount; ++i) {
        const tScriptExport& e = gScriptExports[i];
        SCOPED_TRACE(e.name);
        if (i > 0) {
            EXPECT_LT(std::strcmp(gScriptExports[i - 1].name, e.name), 0) << "sorted, no repeats";
        }
        EXPECT_EQ(FindScriptExport(e.name), e.function);
        ASSERT_NE(e.function, nullptr);
        entryPoints.insert(e.function);
        const char* sep = std::strstr(e.name, "__");
        ASSERT_NE(sep, nullptr);
        classes.insert(std::string(e.name, sep));
    }
    EXPECT_EQ(entryPoints.size(), 188u);
    EXPECT_EQ(classes.size(), 18u);
    EXPECT_EQ(FindScriptExport("cPath__putEnabled"), FindScriptExport("cHotspot__putEnabled"));
    EXPECT_EQ(FindScriptExport("cPath__getEnabled"), FindScriptExport("cHotspot__getEnabled"));
    EXPECT_EQ(FindScriptExport("cLight__setPosition"),
              FindScriptExport("cHotspot__setPathfinderDestination"));
    EXPECT_EQ(FindScriptExport("cPath__setPathfinderDestination"),
              FindScriptExport("cHotspot__setPathfinderDestination"));
    EXPECT_NE(FindScriptExport("cNPC__putEnabled"), FindScriptExport("cHotspot__putEnabled"));
    EXPECT_EQ(FindScriptExport("cactor__walkto"), nullptr) << "exports are case-sensitive";
    EXPECT_EQ(FindScriptExport("cActor__walkTo "), nullptr);
    EXPECT_EQ(FindScriptExport("cActor__fly"), nullptr);
    EXPECT_EQ(FindScriptExport(nullptr), nullptr);
}

TEST_F(ScriptApiTest, FunctionNotBuiltWritesALineAndReturnsZero)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(ScriptFunctionNotBuilt("cScene__fade"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Script function cScene__fade is not built yet.\n");
}

TEST_F(ScriptApiTest, BoundObjectNeedsALiveHandleOfItsType)
{
    int view = 0, actor = 0;
    cTarvelScriptValue self;
    tScriptFrame frame;
    frame.thisValue = &self;
    self.object = gScriptHandles.Bind(&view, eScriptObjectType::View);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), &view);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::Actor), nullptr);
    self.object = gScriptHandles.Bind(&actor, eScriptObjectType::Actor);
    gScriptHandles.Release(&actor);
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::Actor), nullptr);
    self.object = 0;
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), nullptr);
    frame.thisValue = nullptr;
    EXPECT_EQ(ScriptBound<int>(&frame, eScriptObjectType::View), nullptr);
    self.object = uint32_t(-10);
    frame.thisValue = &self;
    EXPECT_EQ(ScriptInventoryIndex(&frame), -10) << "inventory items keep their plain index";
}

TEST_F(ScriptApiTest, AssemblerReportsTheLineOfAnError)
{
    struct tCase {
        const char* source;
        const char* error;
    } cases[] = {
        {"jmp nowhere", "line 1: unknown label 'nowhere'"},
        {"ret\nfoo", "line 2: unknown statement 'foo'"},
        {"push string abc", "line 1: string operand must be quoted"},
        {"push string \"abc", "line 1: unterminated string"},
        {"push string \"\\q\"", "line 1: unknown escape"},
        {"push int 12x", "line 1: bad number '12x'"},
        {"push ref Missing", "line 1: unknown global 'Missing'"},
        {"call nothing", "line 1: unknown import 'nothing'"},
        {"a:\na:", "line 2: label 'a' defined twice"},
        {"add 1", "line 1: add takes no operands"},
        {"global G wide", "line 1: bad number 'wide'"},
    };
    for (const tCase& c : cases) {
        tScriptAssembly a = AssembleScript(c.source);
        EXPECT_THAT(a.error, HasSubstr(c.error)) << c.source;
        EXPECT_TRUE(a.image.empty());
    }
}

TEST_F(ScriptApiTest, AssembledImageLayout)
{
    std::vector<uint8_t> image = AssembleScriptOrThrow(
        "global Door result scope=2 class=cHotspot\n"
        "import cActor__walkTo 3 none\n"
        "function Door::Do\n"
        "push string \"a\\\"b\"\ncallg Door cActor__walkTo\nret\n");
    // Header, one record of each kind, then the code and its end marker.
    ASSERT_EQ(image.size(), 20u + 200 + 76 + 140 + 15);
    const uint8_t header[20] = {15, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(image.data(), header, 20), 0);
    const uint8_t* g = image.data() + 20;
    EXPECT_EQ(g[0], kScriptResultObject);
    EXPECT_EQ(g[4], 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(g + 5), "Door");
    EXPECT_STREQ(reinterpret_cast<const char*>(g + 133), "cHotspot");
    const uint8_t* imp = g + 200;
    EXPECT_STREQ(reinterpret_cast<const char*>(imp), "cActor__walkTo");
    EXPECT_EQ(imp[64], 3);
    EXPECT_EQ(imp[72], 0xFF);
    EXPECT_EQ(imp[75], 0xFF);
    const uint8_t* fn = imp + 76;
    EXPECT_STREQ(reinterpret_cast<const char*>(fn), "Door::Do");
    EXPECT_EQ(fn[136], 0);
    const uint8_t code[15] = {1, 3, 'a', '"', 'b', 0, 23, 0, 0, 0, 0, 0, 0, 21, 0xFF};
    EXPECT_EQ(std::memcmp(fn + 140, code, 15), 0);
}

} // namespace
