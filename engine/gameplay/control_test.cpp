#include "engine/gameplay/control.h"

#include <string>
#include <vector>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script_handles.h"

namespace {

std::vector<std::string> gLog;

// Logs its updates and deaths; finishes itself at its finishAt-th update,
// and may append another control while it updates.
class LoggingControl : public cTarvelControl {
public:
    LoggingControl(std::string name, int finishAt = 0, int32_t classId = 0)
        : cTarvelControl(classId), mName(std::move(name)), mFinishAt(finishAt)
    {
    }
    ~LoggingControl() override { gLog.push_back("~" + mName); }
    void Update() override
    {
        gLog.push_back(mName);
        ++mUpdates;
        if (mSpawn) {
            gActiveControls.Add(mSpawn);
            mSpawn = nullptr;
        }
        if (mUpdates == mFinishAt)
            mFinished = true;
    }
    void Save(cTarvelSavegame& savegame) override
    {
        SaveClass(savegame);
        savegame.WriteString("Name", cTarvelString(mName.c_str()));
    }

    std::string mName;
    int mFinishAt;
    int mUpdates = 0;
    cTarvelControl* mSpawn = nullptr;
};

// A control whose class is not saved: the base Save.
class UnsavedControl : public cTarvelControl {
public:
    UnsavedControl() : cTarvelControl(5) {}
};

cTarvelControl* LoadLogging(cTarvelSavegame& savegame)
{
    const cTarvelString name = savegame.ReadString("Name", cTarvelString("?"));
    // Wander off to check that the walk over the elements is not derailed.
    savegame.mCurrent = savegame.mRoot;
    return new LoggingControl(name.c_str(), 0, 0);
}

class ControlTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        gLog.clear();
    }
    void TearDown() override
    {
        for (int32_t id = 0; id <= 8; ++id)
            RegisterControlClass(id, nullptr);
        gActiveControls.DeleteAll();
        gTarvel.mSavegame.mRoot = gTarvel.mSavegame.mCurrent = nullptr;
        EngineTest::TearDown();
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (cTarvelControl* control : gActiveControls)
            names.push_back(static_cast<LoggingControl*>(control)->mName);
        return names;
    }
};

TEST_F(ControlTest, FinishedControlIsDeletedInItsOwnWalkAndTheNextIsStillUpdated)
{
    auto* spawned = new LoggingControl("d");
    auto* b = new LoggingControl("b", 1);
    b->mSpawn = spawned;
    gActiveControls.Add(new LoggingControl("a"));
    gActiveControls.Add(b);
    gActiveControls.Add(new LoggingControl("c", 2));

    UpdateActiveControls();
    // b finished and died before c was updated; d, appended by b, ran too.
    EXPECT_EQ(gLog, (std::vector<std::string>{"a", "b", "~b", "c", "d"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "d"}));

    gLog.clear();
    UpdateActiveControls();
    EXPECT_EQ(gLog, (std::vector<std::string>{"a", "c", "~c", "d"}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "d"}));
}

TEST_F(ControlTest, DeletedControlStalesItsScriptHandle)
{
    auto* control = new LoggingControl("a", 1);
    const uint32_t handle = gScriptHandles.Bind(control, eScriptObjectType::CtrlTicker);
    gActiveControls.Add(control);
    ASSERT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::CtrlTicker), control);
    UpdateActiveControls();
    EXPECT_EQ(gActiveControls.Count(), 0);
    EXPECT_EQ(gScriptHandles.Resolve(handle, eScriptObjectType::CtrlTicker), nullptr);
}

TEST_F(ControlTest, SaveAndLoadByClass)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Demogame");
    document.LinkEndChild(root);
    cTarvelSavegame& savegame = gTarvel.mSavegame;
    savegame.mRoot = savegame.mCurrent = root;

    gActiveControls.Add(new LoggingControl("mirror", 0, 4));
    gActiveControls.Add(new UnsavedControl);
    gActiveControls.Add(new LoggingControl("fade", 0, 7));
    SaveActiveControls(savegame);
    EXPECT_EQ(savegame.mCurrent, root);

    std::vector<std::string> saved;
    for (TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const char* cls = e->Attribute("class");
        saved.push_back(std::string(e->Value()) + ":" + (cls ? cls : "-") + (e->FirstChild() ? "+" : ""));
    }
    EXPECT_EQ(saved, (std::vector<std::string>{"Control:4+", "Control:-", "Control:7+"}));

    // Elements of every other class number, each with a name to tell them by.
    const char* const others[] = {nullptr, "0", "1", "2", "3", "5", "6", "8", "9", "-1"};
    for (const char* cls : others) {
        auto* element = new TiXmlElement("Control");
        if (cls)
            element->SetAttribute("class", cls);
        auto* name = new TiXmlElement("Name");
        name->LinkEndChild(new TiXmlText(std::string("class ") + (cls ? cls : "none")));
        element->LinkEndChild(name);
        root->LinkEndChild(element);
    }

    gActiveControls.DeleteAll();
    gLog.clear();
    // Only the saved classes take a loader.
    for (int32_t id = -1; id <= 9; ++id) {
        const bool saved = id == 1 || id == 2 || id == 4 || id == 6 || id == 7;
        EXPECT_EQ(RegisterControlClass(id, LoadLogging), saved) << id;
    }
    LoadActiveControls(savegame);
    EXPECT_EQ(savegame.mCurrent, root);
    EXPECT_EQ(Names(), (std::vector<std::string>{"mirror", "fade", "class 1", "class 2", "class 6"}));

    // A class without a loader (its control has not landed) creates nothing.
    gActiveControls.DeleteAll();
    RegisterControlClass(4, nullptr);
    LoadActiveControls(savegame);
    EXPECT_EQ(Names(), (std::vector<std::string>{"fade", "class 1", "class 2", "class 6"}));
}

TEST_F(ControlTest, LoadWithoutControlsAddsNothing)
{
    TiXmlDocument document;
    auto* root = new TiXmlElement("Demogame");
    document.LinkEndChild(root);
    gTarvel.mSavegame.mRoot = gTarvel.mSavegame.mCurrent = root;
    RegisterControlClass(2, LoadLogging);
    LoadActiveControls(gTarvel.mSavegame);
    EXPECT_EQ(gActiveControls.Count(), 0);
}

TEST_F(ControlTest, RenderListSortsFarToNearAndNeverSwapsEqualKeys)
{
    int tags[6];
    auto order = [&](std::vector<float> keys) {
        tArray<sRenderItem> list;
        for (size_t i = 0; i < keys.size(); ++i)
            list.Add({keys[i], &tags[i], 1});
        SortRenderItems(list);
        std::vector<int> result;
        for (const sRenderItem& item : list)
            result.push_back(static_cast<int>(static_cast<int*>(item.object) - tags));
        return result;
    };
    EXPECT_EQ(order({}), std::vector<int>{});
    EXPECT_EQ(order({1, 3, 2}), (std::vector<int>{1, 2, 0}));
    // Equal keys keep their places when nothing larger passes them.
    EXPECT_EQ(order({2, 2, 2}), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(order({5, 2, 2, 1}), (std::vector<int>{0, 1, 2, 3}));
    // A larger key taken from behind moves the first of two equal keys back
    // past the second: they trade places only through that exchange.
    EXPECT_EQ(order({1, 1, 2}), (std::vector<int>{2, 1, 0}));
}

}  // namespace
