#include "engine/script/script_test_support.h"

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/script/script_api.h"
#include "engine/script/script_handles.h"
#include "tools/script_assembler.h"

namespace {

std::vector<tCallRecord> gRecords;
std::string gWaitLabel;
int gNestedResult = 0;

int32_t Record(tScriptFrame* frame)
{
    tCallRecord r;
    ScriptCompleteArguments(frame);
    for (const cTarvelScriptValue& v : frame->arguments)
        r.arguments.push_back(v);
    r.thisValue = frame->thisValue;
    r.thisObject = frame->thisValue ? frame->thisValue->object : 0;
    r.thisName = frame->thisValue ? frame->thisValue->name.c_str() : "";
    r.resultKind = frame->result.kind;
    r.machine = frame->machine;
    r.machineThis = frame->machine->mThis;
    r.machineSp = frame->machine->mSp;
    frame->result.integer = 100 + int32_t(gRecords.size());
    gRecords.push_back(std::move(r));
    return 0;
}

int32_t Wait(tScriptFrame* frame)
{
    gWaitLabel = frame->machine->MakeTempName().c_str();
    frame->machine->Suspend(true);
    return 0;
}

int32_t WaitNoState(tScriptFrame* frame)
{
    gWaitLabel = frame->machine->MakeTempName().c_str();
    frame->machine->Suspend(false);
    return 0;
}

int32_t CallInner(tScriptFrame* frame)
{
    gNestedResult = frame->machine->CallFunction("Inner", nullptr);
    return 0;
}

int32_t Destroy(tScriptFrame* frame)
{
    delete frame->machine;
    return 0;
}

} // namespace

void ScriptTestBase::SetUp()
{
    EngineTest::SetUp();
    gRecords.clear();
    gWaitLabel.clear();
    gNestedResult = 0;
    gSharedSymbols.Clear();
    gLibraryFunctions.Clear();
    gScriptHandles.Clear();
    cTarvelScript::sInstructionBudget = -1;
    cTarvelScript::AddLibraryFunction("test__record", Record);
    cTarvelScript::AddLibraryFunction("test__wait", Wait);
    cTarvelScript::AddLibraryFunction("test__waitNoState", WaitNoState);
    cTarvelScript::AddLibraryFunction("test__callInner", CallInner);
    cTarvelScript::AddLibraryFunction("test__destroy", Destroy);
}

void ScriptTestBase::TearDown()
{
    cTarvelScript::sInstructionBudget = -1;
    gSharedSymbols.Clear();
    gLibraryFunctions.Clear();
    gScriptHandles.Clear();
    EngineTest::TearDown();
}

std::unique_ptr<cTarvelScript> ScriptTestBase::Machine(const char* source)
{
    std::vector<uint8_t> image = AssembleScriptOrThrow(source);
    auto machine = std::make_unique<cTarvelScript>();
    machine->LoadImage(image.data(), image.size(), "test");
    return machine;
}

std::vector<tCallRecord>& ScriptTestBase::Records()
{
    return gRecords;
}

const std::string& ScriptTestBase::WaitLabel()
{
    return gWaitLabel;
}

int ScriptTestBase::NestedResult()
{
    return gNestedResult;
}

SavegameScope::SavegameScope(const char* xml)
{
    cTarvelSavegame& s = gTarvel.mSavegame;
    TiXmlBase::SetCondenseWhiteSpace(false);
    s.mDocument = new TiXmlDocument();
    if (xml)
        s.mDocument->Parse(xml);
    else
        s.mDocument->LinkEndChild(new TiXmlElement("Root"));
    s.mRoot = s.mDocument->RootElement();
    s.mCurrent = s.mRoot;
}

SavegameScope::~SavegameScope()
{
    cTarvelSavegame& s = gTarvel.mSavegame;
    delete s.mDocument;
    s.mDocument = nullptr;
    s.mRoot = nullptr;
    s.mCurrent = nullptr;
}

std::string SavegameScope::Xml() const
{
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    gTarvel.mSavegame.mRoot->Accept(&printer);
    return printer.CStr();
}

std::string SavegameScope::Current() const
{
    return gTarvel.mSavegame.mCurrent ? gTarvel.mSavegame.mCurrent->Value() : "";
}
