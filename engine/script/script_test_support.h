#pragma once

// Test support of the script machine: a fixture on the engine's test base
// with recording library functions, machines assembled from text, fatal
// errors caught, and a savegame cursor over a small document.

#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/test_support.h"
#include "engine/script/script.h"

// One call of the recording function "test__record".
struct tCallRecord {
    std::vector<cTarvelScriptValue> arguments;
    cTarvelScriptValue* thisValue = nullptr;
    uint32_t thisObject = 0;
    std::string thisName;
    uint32_t resultKind = 0;
    cTarvelScript* machine = nullptr;
    cTarvelScriptValue* machineThis = nullptr;
    uint32_t machineSp = 0; // after the arguments and this were popped
};

// Library functions the fixture puts in the cache before each test:
//   test__record      records the call; result integer 100 + its index
//   test__wait        keeps the continuation label, suspends with state
//   test__waitNoState the same without state
//   test__callInner   enters "Inner" on the calling machine
//   test__destroy     deletes the calling machine
class ScriptTestBase : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A live machine named "test" loaded from assembled text.
    std::unique_ptr<cTarvelScript> Machine(const char* source);

    static std::vector<tCallRecord>& Records();
    static const std::string& WaitLabel();
    static int NestedResult();
    const std::string& LastFatal() const { return mLastFatal; }

    std::string mLastFatal;
};

#define EXPECT_FATAL(statement, text)                                   \
    do {                                                                \
        mLastFatal = CatchFatalError([&] { statement; });               \
        EXPECT_THAT(mLastFatal, ::testing::HasSubstr(text));            \
    } while (0)

// Sets up gTarvel.mSavegame on a document whose root element is "Root"
// (empty, or parsed from xml) and takes it down again.
class SavegameScope {
public:
    explicit SavegameScope(const char* xml = nullptr);
    explicit SavegameScope(const std::string& xml) : SavegameScope(xml.c_str()) {}
    ~SavegameScope();
    // The root element printed without white space.
    std::string Xml() const;
    // The name of the cursor's current element.
    std::string Current() const;
};
