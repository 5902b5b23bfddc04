#pragma once

// A started engine in a written scene with a player, for the tests of the
// exported functions that act on the world. The archive holds the scene
// "Room" in the states "day" and "night" (meshes "floor" and "wall", views
// "Main" and "Close", walk areas "Floor" and "Yard"), the actors "Hero" (the
// player) and "Guide", pictures of both views, an animation of three
// frames, a cutscene and a full-screen movie, the rain's effect and
// textures, and what the case file and the radio load.

#include <memory>
#include <string>
#include <vector>

#include "engine/script/script_test_support.h"

class cTarvelScene;
class cTarvelView;

class ScriptApiWorldTest : public ScriptTestBase {
public:
    void SetUp() override;
    void TearDown() override;

    // Runs "Case" of a machine made of the fixture's globals and source.
    // Globals: Room (cScene), Main and Close (cView), bound as the scene's
    // own script binds them; Door (cHotspot, unbound), Out (an object
    // result) and Flag (int). Returns CallFunction's result.
    int Case(const std::string& source);
    cTarvelScript& CaseMachine() { return *mMachine; }
    cTarvelScriptValue& Global(const char* name);
    cTarvelScriptValue& Out() { return Global("Out"); }
    int32_t Flag() { return Global("Flag").integer; }

    // Makes the top of gCinematics a cinematic that is in a call into its
    // own script, skipping or not.
    static void RunningCinematic(bool skipping);

    // Function names entered on any machine since SetUp.
    static std::vector<std::string>& Calls();

    cTarvelScene* mScene = nullptr;
    cTarvelView* mMain = nullptr;
    cTarvelView* mClose = nullptr;

private:
    std::unique_ptr<cTarvelScript> mMachine;
};
