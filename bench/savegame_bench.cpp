// Saving and loading the savegame of a full scene (four views, 40 hotspots,
// twelve free mobiles, the player, nine inventory items, a filled PDA, 500
// shared symbols with a 20 KB block), per operation. Beside them in the same run: zlib's compress2 at level 9 and
// uncompress of the same printed text, and TinyXML's print and parse of the
// same document.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <tinyxml.h>
#include <zlib.h>

#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "bench/beside_baseline.h"
#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/mobile.h"
#include "engine/world/scene.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/savegame_file.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"
#include "tools/shaderlib_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kViews = 4;
constexpr int kHotspots = 40;
constexpr int kMobiles = 12;
constexpr int kSymbols = 500;
constexpr uint32_t kBlockBytes = 20 * 1024;
constexpr int kItems = 9;
constexpr int kPhoneEntries = 12;
constexpr int kClips = 16;
constexpr int kMails = 10;

std::string ItemName(int i)
{
    return "Item" + std::to_string(i);
}

// An item's script: its object, and an "OnLoad" that does nothing.
std::vector<uint8_t> ItemScript(const std::string& name)
{
    return AssembleScriptOrThrow("global " + name + " result class=cInventoryItem\nglobal PC result class=cActor\n"
                                 "function " + name + "::OnLoad\nret\n");
}

// Nine items, phone entries, dictaphone clips in two levels of folders, and
// mails of six text lines with one or two pictures.
void FillInventoryAndPda()
{
    for (int i = 0; i < kItems; ++i)
        gTarvel.mInventory.AddItem(ItemName(i).c_str(), true);
    cTarvelPDA& pda = gTarvel.mPDA;
    for (int i = 0; i < kPhoneEntries; ++i)
        pda.AddPhonebookEntry(("Contact " + std::to_string(i)).c_str(), "a detail of the contact",
                              ("555-01" + std::to_string(10 + i)).c_str(), ("Call" + std::to_string(i)).c_str());
    for (int i = 0; i < kClips; ++i)
        pda.AddAudioEntry(("Case " + std::to_string(i % 3) + "/Day " + std::to_string(i % 2) + "/Clip " +
                           std::to_string(i))
                              .c_str(),
                          "Room", "Room", ("PlayClip" + std::to_string(i)).c_str());
    for (int i = 0; i < kMails; ++i) {
        pda.AddMail("The chief", "Ann", ("Topic " + std::to_string(i)).c_str(), "03.11.");
        for (int line = 0; line < 6; ++line)
            pda.AddMailTextline("A line of the mail's text, long enough to stand for one.");
        pda.AddAttachment("photo0");
        if (i % 2)
            pda.AddAttachment("photo1");
    }
}

testkit::SceneFile BenchRoom()
{
    testkit::SceneFile room;
    room.name = "Room";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{-100, 0, 0, 0, 1, 0}, {100, 0, 0, 0, 1, 0}, {100, 0, 200, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    room.meshes = {floor};
    std::string script = "global Room object class=cScene\nglobal PC object class=cActor\n";
    for (int v = 0; v < kViews; ++v)
        room.views.push_back({"View" + std::to_string(v), {float(v * 10), 150, -500, 0, 0, 0, 1, 0.785f}});
    for (int h = 0; h < kHotspots; ++h) {
        testkit::SceneHotspot hotspot;
        hotspot.number = uint32_t(h);
        hotspot.regions = {{"View0", {{false, {{h, 200}, {h + 50, 200}, {h + 50, 300}, {h, 300}}}}, {}}};
        room.hotspots.push_back(std::move(hotspot));
        script += "global spot" + std::to_string(h) + " object class=cHotspot\n";
    }
    script += "ret\n";
    room.script = AssembleScriptOrThrow(script);
    return room;
}

struct Setup {
    fs::path folder;
    cTarvelString path;        // the savegame, as the engine names it
    std::string text;          // its printed document
    std::vector<uint8_t> stream;
};

Setup& TheSetup()
{
    static Setup setup = [] {
        Setup s;
        s.folder = fs::temp_directory_path() / ("tarvel-bench-savegame-" + std::to_string(getpid()));
        fs::create_directories(s.folder / "root");
        static const fs::path removed = s.folder;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(removed, ignored);
        });
        setenv("TARVEL_ROOT", (s.folder / "root").c_str(), 1);
        testkit::ArchiveWriter writer;
        writer.AddLanguage(9);
        writer.AddShared(1, "shaderlib", 0, testkit::BuildShaderLibrary("bench", 1, testkit::MinimalEngineEffects()),
                         false);
        writer.AddShared(1, "Room.day", testkit::kSceneResourceType, testkit::BuildSceneFile(BenchRoom()), false);
        writer.AddShared(1, "Ann.day", 2, AssembleActorScript("Ann", "global PC object class=cActor\nret\n"), false);
        testkit::MobileActor body;
        body.nodes = {{"root", -1}, {"spine", 0}, {"head", 1}, {"hand", 0}};
        writer.AddShared(1, "body", 7, testkit::BuildMobileActor(body), false);
        for (int i = 0; i < kItems; ++i)
            writer.AddShared(1, ItemName(i) + ".day", 3, ItemScript(ItemName(i)), false);
        const testkit::Bytes picture = testkit::BuildTga(testkit::Picture(32, 24), testkit::TgaOptions());
        writer.AddShared(1, "photo0", 5, picture, false);
        writer.AddShared(1, "photo1", 5, picture, false);
        std::string error;
        if (!writer.Write(s.folder, &error)) {
            std::fprintf(stderr, "cannot write the archive: %s\n", error.c_str());
            std::exit(1);
        }
        fs::current_path(s.folder);
        if (!AnimCore::SetMemoryAllocator(nullptr) || !Anim::Initialize())
            std::exit(1);
        gInstance = GetModuleHandleA(nullptr);
        gTarvel.CreateMainWindow();
        gTarvel.mWindow = gMainWindow;
        gTarvel.mConfig.ScreenRes = 0x04000300;
        gTarvel.mConfig.PostEffects = 0;
        gTarvel.mConfig.Language = 9;
        if (gTarvel.mGraphics.Initialize() != 0 || gTarvel.mResources.Initialize() != 0)
            std::exit(1);
        gTarvel.mShaders.Init();

        gTarvel.mGameState = gTarvel.mPendingGameState = "day";
        auto* scene = new cTarvelScene();
        scene->mSlot = gTarvel.mResources.OpenResource("Room.day", testkit::kSceneResourceType);
        if (gTarvel.ChangeScene(scene, 0) != 0)
            std::exit(1);
        for (int m = 0; m < kMobiles; ++m) {
            auto* mobile = new cTarvelMobile();
            if (mobile->Load("body") != 0)
                std::exit(1);
            mobile->mPosition = D3DXVECTOR3(float(m * 10), 0, float(m));
            scene->mMobiles.Add(mobile);
        }
        gTarvel.mPlayer = new cTarvelActor("Ann", "", false);
        gTarvel.mPlayer->mIsPlayer = true;
        gTarvel.mPlayer->mMobile->Load("body");
        FillInventoryAndPda();

        cTarvelScriptValue pc;
        pc.kind = kScriptResultObject;
        pc.scope = 2;
        pc.name = "PC";
        pc.className = "cActor";
        pc.object = gScriptHandles.Bind(gTarvel.mPlayer, eScriptObjectType::Actor);
        gSharedSymbols.Add(pc);
        std::vector<uint8_t> block(kBlockBytes);
        for (uint32_t i = 0; i < kBlockBytes; ++i)
            block[i] = uint8_t(i * 131u + 7u);
        cTarvelScriptValue bytes = cTarvelScriptValue::FromBytes(block.data(), kBlockBytes);
        bytes.name = "~BunkerWallData~";
        bytes.scope = 2;
        gSharedSymbols.Add(bytes);
        for (int i = 2; i < kSymbols; ++i) {
            cTarvelScriptValue value = i % 2 ? cTarvelScriptValue::FromInt(i * 7) : cTarvelScriptValue::FromString("a text");
            value.name = ("Shared" + std::to_string(i)).c_str();
            value.scope = 2;
            gSharedSymbols.Add(value);
        }

        s.path = platform::ShowPath((s.folder / "bench.demogame").string()).c_str();
        gTarvel.mSavegame.Save(s.path);
        testkit::SavegameContents contents;
        const std::string file = [&] {
            FILE* in = std::fopen((s.folder / "bench.demogame").c_str(), "rb");
            std::string bytes;
            char chunk[65536];
            for (size_t n; in && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
                bytes.append(chunk, n);
            if (in)
                std::fclose(in);
            return bytes;
        }();
        if (!testkit::ReadSavegame({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, &contents, &error)) {
            std::fprintf(stderr, "the savegame does not read back: %s\n", error.c_str());
            std::exit(1);
        }
        s.text = contents.xml;
        if (s.text.find("<Item name=\"Item8\">") == std::string::npos ||
            s.text.find("<pic1>photo1</pic1>") == std::string::npos) {
            std::fprintf(stderr, "the savegame lacks the inventory or the PDA\n");
            std::exit(1);
        }
        uLongf size = compressBound(uLong(s.text.size()));
        s.stream.resize(size);
        compress2(s.stream.data(), &size, reinterpret_cast<const Bytef*>(s.text.data()), uLong(s.text.size()), 9);
        s.stream.resize(size);
        return s;
    }();
    return setup;
}

bool Compress()
{
    const Setup& setup = TheSetup();
    static std::vector<uint8_t> out(compressBound(uLong(setup.text.size())));
    uLongf size = uLongf(out.size());
    const int result =
        compress2(out.data(), &size, reinterpret_cast<const Bytef*>(setup.text.data()), uLong(setup.text.size()), 9);
    benchmark::DoNotOptimize(out.data());
    return result == Z_OK;
}

bool Uncompress()
{
    const Setup& setup = TheSetup();
    static std::string out(setup.text.size(), '\0');
    uLongf size = uLongf(out.size());
    const int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &size, setup.stream.data(),
                                  uLong(setup.stream.size()));
    benchmark::DoNotOptimize(out.data());
    return result == Z_OK;
}

bool Print()
{
    static TiXmlDocument document = [] {
        TiXmlBase::SetCondenseWhiteSpace(false);
        TiXmlDocument d;
        d.Parse(TheSetup().text.c_str());
        return d;
    }();
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    document.Accept(&printer);
    benchmark::DoNotOptimize(printer.CStr());
    return printer.Size() > 0;
}

bool Parse()
{
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument document;
    document.Parse(TheSetup().text.c_str());
    return !document.Error();
}

bool Save()
{
    gTarvel.mSavegame.Save(TheSetup().path);
    return true;
}

bool Load()
{
    return gTarvel.mSavegame.Load(TheSetup().path, 1);
}

void Report(benchmark::State& state)
{
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["text_bytes"] = double(TheSetup().text.size());
}

void BM_SavegameSaveVsCompress2(benchmark::State& state)
{
    TheSetup();
    bench::RunBesideBaseline(state, Save, Compress);
    Report(state);
}

void BM_SavegameLoadVsUncompress(benchmark::State& state)
{
    TheSetup();
    bench::RunBesideBaseline(state, Load, Uncompress);
    Report(state);
}

void BM_SavegameSaveVsTinyXmlPrint(benchmark::State& state)
{
    TheSetup();
    bench::RunBesideBaseline(state, Save, Print);
    Report(state);
}

void BM_SavegameLoadVsTinyXmlParse(benchmark::State& state)
{
    TheSetup();
    bench::RunBesideBaseline(state, Load, Parse);
    Report(state);
}

BENCHMARK(BM_SavegameSaveVsCompress2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavegameLoadVsUncompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavegameSaveVsTinyXmlPrint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavegameLoadVsTinyXmlParse)->Unit(benchmark::kMillisecond);

}  // namespace
