#include <gtest/gtest.h>

#include <string>

#include "tools/script_assembler.h"
#include "tools/text_form_test_support.h"

namespace {

using testkit::testing::RunTool;
using testkit::testing::ScratchFolder;

const char* kMain = "; the main script\nfunction Main::Init\nret\nfunction Main::Start\nret\n";

TEST(ScriptAsmTest, ProjectOptionPutsTheRecordBeforeTheImage)
{
    ScratchFolder scratch;
    const std::string source = scratch.Write("main.script", kMain);
    ASSERT_EQ(RunTool(scratch, "script_asm", "--project 'Kestrelmoor sample' 'build 7' " + source + " " +
                                                 scratch.path + "/project")
                  .exitCode,
              0);
    const std::string project = scratch.Read("project");
    const std::vector<uint8_t> image = AssembleScriptOrThrow(kMain);
    ASSERT_EQ(project.size(), 128 + image.size());
    EXPECT_EQ(project.substr(0, 64), "Kestrelmoor sample" + std::string(64 - 18, '\0'));
    EXPECT_EQ(project.substr(64, 64), "build 7" + std::string(64 - 7, '\0'));
    EXPECT_EQ(project.substr(128), std::string(image.begin(), image.end()));

    // Without the option the image alone.
    ASSERT_EQ(RunTool(scratch, "script_asm", source + " " + scratch.path + "/image").exitCode, 0);
    EXPECT_EQ(scratch.Read("image"), project.substr(128));
}

TEST(ScriptAsmTest, ARefusedLineStopsWithFileAndLine)
{
    ScratchFolder scratch;
    const std::string source = scratch.Write("main.script", "function Main::Init\nfrobnicate\nret\n");
    const testkit::testing::ToolRun run =
        RunTool(scratch, "script_asm", "--project Name 1 " + source + " " + scratch.path + "/project");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error.rfind(source + ":2: ", 0), 0u) << run.error;
    EXPECT_TRUE(scratch.Read("project").empty());
    EXPECT_EQ(RunTool(scratch, "script_asm", "--project Name " + source + " " + scratch.path + "/p").exitCode, 2);
}

}  // namespace
