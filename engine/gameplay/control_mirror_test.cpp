#include "engine/gameplay/control_mirror.h"

#include "engine/gameplay/control_effects_test_support.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/image.h"

namespace {

using namespace control_test;

struct tDraw {
    const cTarvelMobile* mobile;
    D3DXMATRIX matrix;
    bool depth;
    const cTarvelShaderBinding* shader;
    int cull, lights;
    bool plain;
};
std::vector<tDraw> gDraws;

// Records its draws instead of drawing.
class RecordingMobile : public cTarvelMobile {
public:
    RecordingMobile(const char* file, float x, float y, float z)
    {
        mFile = file;
        mPosition = D3DXVECTOR3(x, y, z);
    }
    int Draw(const D3DXMATRIX* matrix, bool depth, const cTarvelShaderBinding* shader, int cull, int maxLights,
             bool plainLighting) override
    {
        gDraws.push_back({this, *matrix, depth, shader, cull, maxLights, plainLighting});
        return 0;
    }
};

// A view that records the mesh entries it is asked to draw, with the method
// each had then and whether its one layer was shown.
class RecordingView : public cTarvelView {
public:
    struct tRender {
        const sSceneMesh* entry;
        int32_t method;
        int visible;
    };
    void Render(void* item) override
    {
        const auto* entry = static_cast<const sSceneMesh*>(item);
        mRendered.push_back({entry, entry->renderMethod, mLayers[0]->visible});
    }
    std::vector<tRender> mRendered;
};

// The reflection about a plane n.p + d = 0 with unit normal n, for row
// vectors: p' = p (I - 2 n n^T) - 2 d n.
D3DXMATRIX Reflection(float a, float b, float c, float d)
{
    const float n[3] = {a, b, c};
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = (i == j ? 1.0f : 0.0f) - 2.0f * n[i] * n[j];
        m.m[3][i] = -2.0f * d * n[i];
    }
    return m;
}

void ExpectMatrix(const D3DXMATRIX& actual, const D3DXMATRIX& expected)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(actual.m[i][j], expected.m[i][j], 1e-5f) << i << "," << j;
}

class MirrorTest : public ControlEffectsTest {
protected:
    void SetUp() override
    {
        ControlEffectsTest::SetUp();
        gDraws.clear();
        Global("Main")->object = gScriptHandles.Bind(View(0), eScriptObjectType::View);
        cTarvelActor* player = MakePlayer(0, 0, 0, false);
        delete player->mMobile;
        player->mMobile = mHero = new RecordingMobile("Hero", 10, 50, 20);
        Global("Hero")->object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
        mOther = std::make_unique<RecordingMobile>("Ann", -30, 0, 5);
        mList.Add({300.0f, mHero, 2});
        mList.Add({5.0f, nullptr, 3});
        mList.Add({100.0f, mOther.get(), 2});
    }
    void TearDown() override
    {
        mOther.reset();
        ControlEffectsTest::TearDown();
    }
    cTarvelControlMirror* Mirror() { return Bound<cTarvelControlMirror>("Mirror", eScriptObjectType::CtrlMirror); }
    bool SurfaceLoaded()
    {
        for (cTarvelImage* image : View(0)->mImages)
            if (image->mName == "mirror")
                return true;
        return false;
    }

    RecordingMobile* mHero = nullptr;
    std::unique_ptr<RecordingMobile> mOther;
    tArray<sRenderItem> mList;
};

TEST_F(MirrorTest, FloorAndPlaneReflectionsNearestMobileFirst)
{
    Run("MirrorInit");
    Run("MirrorFloor");
    Run("MirrorPlane");
    ASSERT_NE(Mirror(), nullptr);
    EXPECT_EQ(Mirror()->mView, View(0));
    EXPECT_EQ(Mirror()->mMapName, "mirror");
    Mirror()->CollectRenderItems(mList, 0);
    EXPECT_TRUE(SurfaceLoaded());
    EXPECT_EQ(mList.Count(), 3) << "draws at once, adds nothing";
    ASSERT_EQ(gDraws.size(), 4u);
    // The floor under each: the plane y = its height, moved down by 2.
    D3DXMATRIX floorAnn = Reflection(0, 1, 0, 0);
    floorAnn._42 -= 2.0f;
    D3DXMATRIX floorHero = Reflection(0, 1, 0, -50);
    floorHero._42 -= 2.0f;
    EXPECT_EQ(floorHero._42, 98.0f);
    EXPECT_EQ(gDraws[0].mobile, mOther.get());
    ExpectMatrix(gDraws[0].matrix, floorAnn);
    EXPECT_EQ(gDraws[1].mobile, mHero);
    ExpectMatrix(gDraws[1].matrix, floorHero);
    // The plane x = 100: x' = 200 - x.
    const D3DXMATRIX plane = Reflection(1, 0, 0, -100);
    EXPECT_EQ(plane._41, 200.0f);
    EXPECT_EQ(gDraws[2].mobile, mOther.get());
    ExpectMatrix(gDraws[2].matrix, plane);
    EXPECT_EQ(gDraws[3].mobile, mHero);
    ExpectMatrix(gDraws[3].matrix, plane);
    for (const tDraw& d : gDraws) {
        EXPECT_TRUE(d.depth);
        EXPECT_EQ(d.shader, nullptr);
        EXPECT_EQ(d.cull, 2);
        EXPECT_EQ(d.lights, 2);
        EXPECT_TRUE(d.plain);
    }
}

TEST_F(MirrorTest, ExcludedActorIsNeverMirroredAndAnotherViewDrawsNothing)
{
    Run("MirrorInit");
    Run("MirrorFloor");
    Run("MirrorPlane");
    Run("MirrorExclude");
    ASSERT_EQ(Mirror()->mExcluded.Count(), 1);
    Mirror()->CollectRenderItems(mList, 0);
    ASSERT_EQ(gDraws.size(), 2u);
    EXPECT_EQ(gDraws[0].mobile, mOther.get());
    EXPECT_EQ(gDraws[1].mobile, mOther.get());

    gDraws.clear();
    View(1)->Select(0);
    auto* other = new cTarvelControlMirror("M2", View(0), "mirror");
    gActiveControls.Add(other);
    View(0)->mImages.DeleteAll();
    other->CollectRenderItems(mList, 0);
    EXPECT_TRUE(gDraws.empty());
    EXPECT_FALSE(SurfaceLoaded()) << "not even the surface";
}

TEST_F(MirrorTest, AMissingSurfaceLeavesOnlyTheReflections)
{
    cTarvelControlMirror mirror("M", View(0), "nosurface");
    mirror.AddMirrorFloor();
    const int32_t images = View(0)->mImages.Count();
    mirror.CollectRenderItems(mList, 0);
    EXPECT_EQ(gDraws.size(), 2u);
    EXPECT_EQ(View(0)->mImages.Count(), images);
}

TEST_F(MirrorTest, InitAgainReplacesTheObjectsMirror)
{
    Run("MirrorInit");
    cTarvelControlMirror* first = Mirror();
    Run("MirrorInit");
    ASSERT_EQ(gActiveControls.Count(), 1);
    EXPECT_NE(Mirror(), nullptr);
    EXPECT_EQ(gActiveControls[0], Mirror());
    (void)first;
    // Without a view the mirror never draws.
    Global("Main")->object = 0;
    Run("MirrorInit");
    ASSERT_EQ(gActiveControls.Count(), 1);
    EXPECT_EQ(Mirror()->mView, nullptr);
    Mirror()->CollectRenderItems(mList, 0);
    EXPECT_TRUE(gDraws.empty());
}

TEST_F(MirrorTest, MeshModeDrawsTheSurfaceThroughTheEntriesThatShowItInMode7)
{
    RecordingView view;
    view.mScene = mScene;
    std::strcpy(view.mRecord.name, "Glass");
    view.mMeshSettingCount = 3;
    view.mMeshSettings = std::make_unique<sSceneMesh[]>(3);
    cTarvelImage* surface = view.GetImageLayer("mirror", false);
    cTarvelImage* other = view.GetImageLayer("floor_lit", false);
    sSceneMesh* entries = view.mMeshSettings.get();
    entries[0].colorMap = surface;
    entries[0].renderMethod = 2;
    entries[1].colorMap = other;
    entries[1].renderMethod = 1;
    entries[2].colorMap = surface;
    entries[2].renderMethod = 0;
    auto* layer = new sViewLayer;
    layer->image = surface;
    layer->visible = 1;
    view.mLayers.Add(layer);

    cTarvelView* current = mScene->mView;
    mScene->mView = &view;
    cTarvelControlMirror mirror("M", &view, "mirror");
    mirror.CollectRenderItems(mList, 0);
    const size_t plain = view.mRendered.size();
    mirror.mMeshMode = true;
    mirror.CollectRenderItems(mList, 0);
    mScene->mView = current;

    EXPECT_EQ(plain, 0u) << "without mesh mode the surface is drawn as a picture";
    ASSERT_EQ(view.mRendered.size(), 2u);
    EXPECT_EQ(view.mRendered[0].entry, &entries[0]);
    EXPECT_EQ(view.mRendered[1].entry, &entries[2]);
    for (const RecordingView::tRender& r : view.mRendered) {
        EXPECT_EQ(r.method, 7);
        EXPECT_EQ(r.visible, 0) << "the view must not draw the surface again";
    }
    EXPECT_EQ(entries[0].renderMethod, 2) << "each entry gets its method back";
    EXPECT_EQ(entries[2].renderMethod, 0);
    EXPECT_EQ(entries[1].renderMethod, 1);
    EXPECT_EQ(layer->visible, 1);
    EXPECT_TRUE(gDraws.empty());
}

TEST_F(MirrorTest, SavegameKeepsPlanesModesAndExcludedMobilesOfTheScene)
{
    Run("MirrorInit");
    Run("MirrorFloor");
    Run("MirrorPlane");
    Run("MirrorMesh");
    Run("MirrorExclude");
    Mirror()->mExcluded.Add(mOther.get());   // not the player's, not a scene actor's
    cTarvelScriptValue shared;
    shared.name = "Mirror";
    shared.kind = kScriptObject;
    cTarvelGameplay::AddValue(shared);
    const std::string xml = SaveAndRestore();
    EXPECT_NE(xml.find("<Control class=\"4\"><Symbol>Mirror</Symbol><View>Main</View><Map>mirror</Map>"
                       "<Floor>1</Floor><Mesh>1</Mesh><Plane><a>1.00000000</a><b>0.00000000</b><c>0.00000000</c>"
                       "<d>-100.00000000</d></Plane><ExMob fn=\"Hero\" /><ExMob fn=\"Ann\" /></Control>"),
              std::string::npos)
        << xml;
    ASSERT_EQ(gActiveControls.Count(), 1);
    auto* mirror = static_cast<cTarvelControlMirror*>(gActiveControls[0]);
    EXPECT_EQ(mirror->mView, View(0));
    EXPECT_TRUE(mirror->mFloor);
    EXPECT_TRUE(mirror->mMeshMode);
    ASSERT_EQ(mirror->mPlanes.Count(), 1);
    EXPECT_EQ(mirror->mPlanes[0].d, -100.0f);
    ASSERT_EQ(mirror->mExcluded.Count(), 1);
    EXPECT_EQ(mirror->mExcluded[0], mHero);
    EXPECT_EQ(gScriptHandles.Get<cTarvelControlMirror>(cTarvelGameplay::FindValue("Mirror")->object,
                                                       eScriptObjectType::CtrlMirror),
              mirror);
}

TEST_F(MirrorTest, ForwardingFunctionsFailWhenUnboundOrWithoutMobile)
{
    tScriptFrame frame;
    cTarvelScriptValue self;
    frame.thisValue = &self;
    EXPECT_EQ(cCtrlMirror__addMirrorFloor(&frame), -1);
    Run("MirrorInit");
    frame.thisValue = Global("Mirror");
    frame.arguments.Add(cTarvelScriptValue());
    EXPECT_EQ(cCtrlMirror__excludeMobile(&frame), -1);
    EXPECT_EQ(cCtrlMirror__addMirrorFloor(&frame), 0);
    EXPECT_TRUE(Mirror()->mFloor);
}

}  // namespace
