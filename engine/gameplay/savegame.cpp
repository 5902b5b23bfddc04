#include "engine/gameplay/savegame.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <algorithm>
#include <vector>

#include <tinyxml.h>
#include <zlib.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/control.h"
#include "engine/gameplay/control_bunker_wall.h"
#include "engine/gameplay/inventory.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"
#include "platform/d3dx9/d3dx9_tex.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

// Decimal text to an integer as atoi reads it, held within 32 bits.
int32_t TextToInt(const char* text)
{
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Whether text begins with a number (after blanks and a sign).
bool BeginsWithNumber(const char* text)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    if (*text == '+' || *text == '-')
        ++text;
    return std::isdigit(static_cast<unsigned char>(*text)) != 0;
}

// A double beyond the range of float becomes an infinity, not an
// out-of-range conversion.
float NarrowToFloat(double value)
{
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character values for decoding; characters outside the alphabet count as 0.
struct Base64Table {
    uint8_t value[256] = {};
    constexpr Base64Table()
    {
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<uint8_t>(i);
    }
};
constexpr Base64Table kBase64Decode;

// Encodes one to three bytes as four characters, padding what is missing.
void Base64EncodeBlock(const uint8_t* in, uint32_t count, char* out)
{
    const uint8_t b0 = in[0];
    const uint8_t b1 = count > 1 ? in[1] : 0;
    const uint8_t b2 = count > 2 ? in[2] : 0;
    out[0] = kBase64Alphabet[b0 >> 2];
    out[1] = kBase64Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
    out[2] = count > 1 ? kBase64Alphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
    out[3] = count > 2 ? kBase64Alphabet[b2 & 0x3F] : '=';
}

std::string Base64Encode(const uint8_t* in, uint32_t count)
{
    std::string text;
    text.resize((static_cast<size_t>(count) + 2) / 3 * 4);
    char* out = text.data();
    uint32_t i = 0;
    for (; i + 3 <= count; i += 3, out += 4)
        Base64EncodeBlock(in + i, 3, out);
    if (i < count)
        Base64EncodeBlock(in + i, count - i, out);
    return text;
}

// Decodes the characters of one group (two to four of them) into
// `count` (one to three) bytes.
void Base64DecodeBlock(const char* in, uint32_t count, uint8_t* out)
{
    uint8_t c[4] = {};
    for (uint32_t k = 0; k <= count; ++k)
        c[k] = kBase64Decode.value[static_cast<unsigned char>(in[k])];
    out[0] = static_cast<uint8_t>((c[0] << 2) | (c[1] >> 4));
    if (count > 1)
        out[1] = static_cast<uint8_t>((c[1] << 4) | (c[2] >> 2));
    if (count > 2)
        out[2] = static_cast<uint8_t>((c[2] << 6) | c[3]);
}

uint32_t Base64Decode(const char* text, size_t length, uint8_t* out, uint32_t count)
{
    // Only whole groups the text holds are decoded, never past its end.
    uint32_t written = 0;
    size_t pos = 0;
    while (written < count && pos + 2 <= length) {
        uint32_t bytes = count - written < 3 ? count - written : 3;
        const size_t have = length - pos;
        if (have < bytes + 1)
            bytes = static_cast<uint32_t>(have - 1);
        Base64DecodeBlock(text + pos, bytes, out + written);
        written += bytes;
        pos += 4;
    }
    return written;
}

} // namespace

cTarvelSavegame::cTarvelSavegame() : mDocument(nullptr), mRoot(nullptr), mCurrent(nullptr) {}

cTarvelSavegame::~cTarvelSavegame()
{
    delete mDocument;
    mDocument = nullptr;
}

namespace {

constexpr const char* kSourceFile = ".\\source\\class_savegame";
constexpr const char* kLoadPrefix = "Error while processing savegame file: ";
constexpr const char* kCannotBeLoaded = "Savegame file cannot be loaded.";
constexpr const char* kParseError = "Parse error. This savegame file is most probably broken.";
constexpr const char* kSceneMissing = "Scene file can not be loaded.";

void PutU16(uint8_t* at, uint16_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// A text field of the header: at most size - 1 characters, the rest zero.
void PutText(uint8_t* at, size_t size, const char* text)
{
    const size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(at, text, length);
}

// Whether a picture of this name is in the archive, as the image reader
// looks it up.
bool ImageExists(const cTarvelString& name)
{
    cTarvelResource& archive = gTarvel.mResources;
    return archive.Exists(name.c_str(), kResourceTga) || archive.Exists(name.c_str(), kResourceDds) ||
           archive.Exists(name.c_str(), kResourceImage);
}

// The deepest element nesting of the text, counted before the parser (which
// recurses per level) sees it. Anything that might open an element counts,
// so the estimate is never below what the parser builds.
int ElementDepth(const char* text, size_t length)
{
    int depth = 0, deepest = 0;
    size_t i = 0;
    auto skipPast = [&](const char* end) {
        const char* found = std::strstr(text + i, end);
        i = found ? size_t(found - text) + std::strlen(end) : length;
    };
    while (i < length) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (std::strncmp(text + i, "<!--", 4) == 0) {
            skipPast("-->");
        } else if (std::strncmp(text + i, "<![CDATA[", 9) == 0) {
            skipPast("]]>");
        } else if (text[i + 1] == '/') {
            depth = depth > 0 ? depth - 1 : 0;
            skipPast(">");
        } else if (text[i + 1] == '!' || text[i + 1] == '?') {
            skipPast(">");
        } else {
            deepest = std::max(deepest, ++depth);
            // To the end of the tag; quoted values may hold '>'.
            char quote = 0;
            for (++i; i < length; ++i) {
                if (quote) {
                    quote = text[i] == quote ? 0 : quote;
                } else if (text[i] == '"' || text[i] == '\'') {
                    quote = text[i];
                } else if (text[i] == '>') {
                    if (text[i - 1] == '/')
                        --depth;
                    ++i;
                    break;
                }
            }
        }
    }
    return deepest;
}

// The loader's own helpers for the symbol table.
void BindPlayerSymbol(cTarvelScript* script, const cTarvelActor* player)
{
    if (!script)
        return;
    if (cTarvelScriptValue* symbol = script->FindSymbol("PC", "cActor"))
        symbol->object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
}

// A temporary file beside the target that is moved over it once it is
// complete and on the disk.
cTarvelString TemporaryPath(const cTarvelString& path)
{
    return path + ".tmp";
}

bool FlushAndClose(int fd)
{
    const intptr_t handle = crt::_get_osfhandle(fd);
    const bool flushed = handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle));
    return crt::_close(fd) == 0 && flushed;
}

bool WriteAll(int fd, const void* bytes, uint32_t count)
{
    return count == 0 || crt::_write(fd, bytes, count) == int(count);
}

} // namespace

void cTarvelSavegame::FreeDocument()
{
    delete mDocument;
    mDocument = nullptr;
    mRoot = mCurrent = nullptr;
}

void cTarvelSavegame::WriteGlobals()
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    AddElement("Globals");
    WriteString("State", gTarvel.mGameState);
    WriteString("LastScene", gTarvel.mPreviousSceneName);
    // The controller keeps one interface word; both stored words carry it.
    WriteInt("GameState", int32_t(gTarvel.mGameplay.mStateFlags));
    WriteInt("SaveState", int32_t(gTarvel.mGameplay.mStateFlags));
    WriteString("Lightset", gTarvel.mLights.mName);
    if (graphics.mDepthOfField) {
        AddElement("FOD");
        WriteFloat("Blur", graphics.mBlurParameter);
        WriteVec2("FocalDistance", graphics.mFocalPlane, graphics.mFocalTarget);
        WriteInt("Timed", graphics.mFocalTransition ? 1 : 0);
        WriteFloat("Duration", graphics.mFocalTransitionDuration);
        WriteTime("StartTime", graphics.mFocalTransitionStart);
        LeaveElement();
    } else if (graphics.mPostEffect.technique && gTarvel.mConfig.PostEffects != 0) {
        AddElement("PostFX");
        WriteString("Shader", graphics.mPostEffect.shader ? graphics.mPostEffect.shader->mName : cTarvelString(""));
        WriteString("Technique", graphics.mPostEffect.techniqueName ? graphics.mPostEffect.techniqueName : "");
        WriteTime("StartTime", graphics.mPostEffectStart);
        WriteFloat("Duration", graphics.mPostEffectDuration);
        WriteInt("Timed", graphics.mTimedPostEffect ? 1 : 0);
        LeaveElement();
    }
    LeaveElement();
}

void cTarvelSavegame::WriteSymbols()
{
    AddElement("Symbols");
    for (const cTarvelScriptValue& value : gSharedSymbols) {
        AddElement("Symbol");
        WriteInt("Type", int32_t(value.kind));
        WriteInt("Scope", value.scope);
        WriteString("Name", value.name);
        WriteString("Class", value.className);
        WriteString("AsString", value.string);
        if (value.kind == kScriptBytes) {
            // The block is written whole and its length with it.
            const uint32_t size = uint32_t(value.bytes.size());
            WriteInt("AsInteger", int32_t(size));
            WriteFloat("AsFloat", value.floatValue);
            WriteInt("AsBoolean", value.boolean ? 1 : 0);
            WriteBinary("AsBinary", value.bytes.data(), size);
        } else {
            WriteInt("AsInteger", value.integer);
            WriteFloat("AsFloat", value.floatValue);
            WriteInt("AsBoolean", value.boolean ? 1 : 0);
        }
        LeaveElement();
    }
    LeaveElement();
}

bool cTarvelSavegame::Save(const cTarvelString& path)
{
    FreeDocument();
    mDocument = new TiXmlDocument();
    TiXmlBase::SetCondenseWhiteSpace(false);
    mRoot = new TiXmlElement("Demogame");
    mRoot->SetAttribute("release", "Tarvel 3.0");
    mRoot->SetAttribute("version", 1);
    mRoot->SetAttribute("game", "Kestrelmoor");
    mDocument->LinkEndChild(mRoot);
    mCurrent = mRoot;

    const tTarvelConfig& config = gTarvel.mConfig;
    AddElement("Info");
    AddElement("Project");
    WriteString("Name", gTarvel.mGameplay.mProjectName);
    WriteString("Build", gTarvel.mGameplay.mBuildText);
    LeaveElement();
    AddElement("Configuration");
    WriteString("LocalPath", gTarvel.mProgramFolder);
    WriteString("SaveGamePath", gTarvel.mSavegameFolder);
    WriteInt("Language", int32_t(config.Language));
    WriteInt("Antialiasing", int32_t(config.Antialiasing));
    WriteInt("PerPixelLighting", int32_t(config.PerPixelLighting));
    WriteInt("PostEffects", int32_t(config.PostEffects));
    WriteInt("Shadows", int32_t(config.Shadows));
    WriteInt("ShadowFilter", int32_t(config.ShadowFilter));
    WriteInt("Subtitle", int32_t(config.Subtitle));
    WriteInt("SoundBuffer", int32_t(config.SoundBuffer));
    LeaveElement();
    SYSTEMTIME local{};
    GetLocalTime(&local);
    char saveTime[64];
    std::snprintf(saveTime, sizeof saveTime, "%.4d-%.2d-%.2d %.2d:%.2d", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute);
    WriteString("SaveTime", saveTime);
    LeaveElement();

    WriteGlobals();
    // Each owner writes its own element; the cursor goes back to the root
    // after each, whatever the owner left it on.
    auto element = [this](const char* name, auto&& save) {
        mCurrent = mRoot;
        AddElement(name);
        save();
        mCurrent = mRoot;
    };
    if (cTarvelActor* player = gTarvel.mPlayer)
        element("PC", [&] { player->Save(*this); });
    SaveActiveControls(*this);
    element("Camera0", [&] { gTarvel.mCamera.Save(*this); });
    element("Camera1", [&] { gTarvel.mCamera2.Save(*this); });
    element("Inventory", [&] { gTarvel.mInventory.Save(*this); });
    element("PDA", [&] { gTarvel.mPDA.Save(*this); });
    element("Timer", [&] { gTarvel.mTimer.Save(*this); });
    element("Sound", [&] { gTarvel.mSound.Save(*this); });
    if (cTarvelScene* scene = gTarvel.mScene)
        element("Scene", [&] { scene->SaveState(*this); });
    mCurrent = mRoot;
    WriteSymbols();

    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    mDocument->Accept(&printer);
    const char* text = printer.CStr();
    const uint32_t textLength = uint32_t(printer.Size());
    FreeDocument();

    const cTarvelString temporary = TemporaryPath(path);
    const int fd = crt::_open(temporary.c_str(), crt::_O_WRONLY | crt::_O_CREAT | crt::_O_TRUNC | crt::_O_BINARY,
                              crt::_S_IREAD | crt::_S_IWRITE);
    if (fd == -1)
        return SaveFailed("Error opening savegame file.");

    uLongf streamLength = compressBound(textLength);
    std::vector<uint8_t> stream(streamLength);
    if (compress2(stream.data(), &streamLength, reinterpret_cast<const Bytef*>(text), textLength, 9) != Z_OK ||
        streamLength < kStreamHeadSize) {
        crt::_close(fd);
        crt::_unlink(temporary.c_str());
        return SaveFailed("Error creating savegame file.");
    }

    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, "sava", 4);
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    const uint16_t fields[8] = {utc.wYear, utc.wMonth, utc.wDayOfWeek, utc.wDay,
                                utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds};
    for (int i = 0; i < 8; ++i)
        PutU16(header + 4 + 2 * i, fields[i]);
    if (gTarvel.mPlayer)
        PutText(header + 20, 64, gTarvel.mPlayer->mName.c_str());
    if (gTarvel.mScene)
        PutText(header + 84, 64, gTarvel.mScene->mHeader.name);
    PutText(header + 148, 16, gTarvel.mGameState.c_str());
    uint8_t length[4];
    PutU32(length, textLength);

    const bool written = WriteAll(fd, header, kHeaderSize) && WriteAll(fd, stream.data(), kStreamHeadSize) &&
                         WriteAll(fd, length, 4) &&
                         WriteAll(fd, stream.data() + kStreamHeadSize, uint32_t(streamLength - kStreamHeadSize));
    const bool closed = FlushAndClose(fd);
    if (!written || !closed ||
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // The previous savegame stays as it was.
        crt::_unlink(temporary.c_str());
        return SaveFailed("Error creating savegame file.");
    }
    mRefusal = "";
    return true;
}

bool cTarvelSavegame::SaveFailed(const char* message)
{
    // Not fatal: ending the process would lose the game that is running,
    // and the save at exit with it.
    mRefusal = message;
    std::printf("Error in function cTarvelSavegame::Save\n%s\n", message);
    return false;
}

cTarvelString cTarvelSavegame::ReadDocument(const cTarvelString& path)
{
    const int fd = crt::_open(path.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
    if (fd == -1)
        return kCannotBeLoaded;
    // The whole file: the stream cannot be bigger than the deflate bound of
    // the longest text taken.
    const LONG fileLength = crt::_filelength(fd);
    if (fileLength < 0 || uint64_t(fileLength) > kHeaderSize + 4 + compressBound(kMaxTextLength)) {
        crt::_close(fd);
        return kCannotBeLoaded;
    }
    std::vector<uint8_t> file(static_cast<size_t>(fileLength));
    uint32_t got = 0;
    while (got < file.size()) {
        const int n = crt::_read(fd, file.data() + got, uint32_t(file.size() - got));
        if (n <= 0)
            break;
        got += uint32_t(n);
    }
    crt::_close(fd);
    if (got != file.size())
        return kCannotBeLoaded;

    // A file too short for a header, or without the mark, is all stream.
    const size_t start = file.size() >= kHeaderSize && std::memcmp(file.data(), "sava", 4) == 0 ? kHeaderSize : 0;
    const size_t size = file.size() - start;
    if (size < kStreamHeadSize + 4 + 1)
        return kCannotBeLoaded;
    const uint8_t* at = file.data() + start;
    const uint32_t textLength = GetU32(at + kStreamHeadSize);
    if (textLength == 0 || textLength > kMaxTextLength)
        return kCannotBeLoaded;
    // The stream in one piece, without the length word.
    std::vector<uint8_t> stream(size - 4);
    std::memcpy(stream.data(), at, kStreamHeadSize);
    std::memcpy(stream.data() + kStreamHeadSize, at + kStreamHeadSize + 4, size - kStreamHeadSize - 4);
    std::string text(size_t(textLength) + 1, '\0');
    uLongf inflated = textLength;
    if (uncompress(reinterpret_cast<Bytef*>(text.data()), &inflated, stream.data(), uLong(stream.size())) != Z_OK ||
        inflated != textLength)
        return kCannotBeLoaded;
    if (ElementDepth(text.c_str(), std::strlen(text.c_str())) > kMaxElementDepth)
        return kCannotBeLoaded;

    mDocument->Parse(text.c_str());
    if (mDocument->Error()) {
        std::printf("XML Error: %d %s\n", mDocument->ErrorId(), mDocument->ErrorDesc());
        return kCannotBeLoaded;
    }
    mRoot = mDocument->FirstChildElement("Demogame");
    if (!mRoot)
        return "Root element not found. This savegame file is most probably broken.";
    const char* release = mRoot->Attribute("release");
    const char* game = mRoot->Attribute("game");
    if (std::strcmp(release ? release : "", "Tarvel 3.0") != 0 || std::strcmp(game ? game : "", "Kestrelmoor") != 0)
        return "Release or game signature do not match. This savegame file is from another game or an "
               "incompatible release.";
    mCurrent = mRoot;
    return "";
}

cTarvelString cTarvelSavegame::CheckDocument()
{
    mCurrent = mRoot;
    if (!EnterElement("Globals"))
        return kParseError;
    const cTarvelString state = ReadString("State", "");
    mCurrent = mRoot;
    if (!EnterElement("Scene"))
        return kParseError;
    const cTarvelString scene = GetAttributeString("name", "") + "." + state;
    mCurrent = mRoot;
    if (!gTarvel.mResources.Exists(scene.c_str(), kResourceScene))
        return kSceneMissing;
    if (EnterElement("PC")) {
        const cTarvelString actor = GetAttributeString("name", "") + "." + state;
        mCurrent = mRoot;
        if (!gTarvel.mResources.Exists(actor.c_str(), kResourceActor))
            return kParseError;
    }
    // A missing item would end the program once the game is replaced.
    if (EnterElement("Inventory")) {
        for (bool more = EnterElement("Item"); more; more = NextElement("Item")) {
            const cTarvelString item = GetAttributeString("name", "");
            if (item.Length() > 0 && !cTarvelInventory::ItemExists(item, state)) {
                mCurrent = mRoot;
                return cTarvelInventory::LoadFailure(item, cTarvelInventory::ItemResource(item, state));
            }
        }
        mCurrent = mRoot;
    }
    // Nor may a bunker wall's cursor picture be missing.
    if (EnterElement("Control")) {
        do {
            if (GetAttributeInt("class", 0) != cTarvelControlBunkerWall::kClassId)
                continue;
            const cTarvelString cursor = ReadString("Cursor", "");
            if (cursor.Length() > 0 && !ImageExists(cursor)) {
                mCurrent = mRoot;
                return "Image file not found: " + cursor;
            }
        } while (NextElement("Control"));
        mCurrent = mRoot;
    }
    // Blocks are allocated at their stored size: check it first.
    if (EnterElement("Symbols")) {
        for (bool more = EnterElement("Symbol"); more; more = NextElement("Symbol")) {
            if (ReadInt("Type", 0) != int32_t(kScriptBytes))
                continue;
            const int32_t size = ReadInt("AsInteger", 0);
            if (size < 0 || uint32_t(size) > kMaxSymbolBytes) {
                mCurrent = mRoot;
                return kParseError;
            }
        }
    }
    mCurrent = mRoot;
    return "";
}

void cTarvelSavegame::ReadSymbols()
{
    for (cTarvelScriptValue& value : gSharedSymbols)
        value = cTarvelScriptValue();
    gSharedSymbols.Clear();
    bool offLoaded = false;
    mCurrent = mRoot;
    if (EnterElement("Symbols")) {
        for (bool more = EnterElement("Symbol"); more; more = NextElement("Symbol")) {
            cTarvelScriptValue value;
            value.kind = uint32_t(ReadInt("Type", 0));
            value.scope = uint8_t(ReadInt("Scope", 0));
            value.name = ReadString("Name", "");
            value.className = ReadString("Class", "");
            value.string = ReadString("AsString", "");
            value.integer = ReadInt("AsInteger", 0);
            value.floatValue = ReadFloat("AsFloat", 0.0f);
            value.boolean = ReadInt("AsBoolean", 0) != 0 ? 1 : 0;
            if (value.kind == kScriptBytes) {
                // CheckDocument kept the size within its cap.
                const uint32_t size = uint32_t(std::clamp<int32_t>(value.integer, 0, int32_t(kMaxSymbolBytes)));
                value.integer = int32_t(size);
                value.bytes.assign(size, 0);
                ReadBinary("AsBinary", value.bytes.data(), size);
            }
            if (value.name == "OFF") {
                value.object = gScriptHandles.Bind(gTarvel.mSpeech.mOffVoice, eScriptObjectType::Actor);
                offLoaded = true;
            }
            gSharedSymbols.Add(value);
        }
    }
    if (!offLoaded)
        gSharedSymbols.Add(cTarvelGameplay::SharedActor("OFF", gTarvel.mSpeech.mOffVoice));
    mCurrent = mRoot;
}

void cTarvelSavegame::ReadGlobalsLate()
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    mCurrent = mRoot;
    EnterElement("Globals");
    gTarvel.mGameplay.mStateFlags = uint32_t(ReadInt("GameState", 5));
    gTarvel.mLights.SetLights();
    gTarvel.mLights.mName = ReadString("Lightset", "");
    if (cTarvelScene* scene = gTarvel.mScene; scene && scene->mScript) {
        const cTarvelString event = "SetLights_" + gTarvel.mLights.mName;
        scene->mScript->CallEvent(scene->mScriptObject, event.c_str());
    }
    // The event may have run anything: find the element again.
    mCurrent = mRoot;
    EnterElement("Globals");
    TiXmlElement* globals = mCurrent;
    if (EnterElement("PostFX")) {
        if (gTarvel.mConfig.PostEffects != 0 &&
            gTarvel.mShaders.LoadShader(ReadString("Shader", ""), ReadString("Technique", ""), &graphics.mPostEffect,
                                        false)) {
            graphics.mTimedPostEffect = ReadInt("Timed", 0) != 0;
            graphics.mPostEffectStart = ReadTime("StartTime", 0.0f);
            graphics.mPostEffectDuration = ReadFloat("Duration", 0.0f);
        }
        mCurrent = globals;
    }
    if (EnterElement("FOD")) {
        graphics.ApplyFOD(ReadFloat("Blur", 2.3f));
        ReadVec2("FocalDistance", &graphics.mFocalPlane, &graphics.mFocalTarget);
        graphics.mFocalTransition = ReadInt("Timed", 0) != 0;
        graphics.mFocalTransitionDuration = ReadFloat("Duration", 0.0f);
        graphics.mFocalTransitionStart = ReadTime("StartTime", 0.0f);
    }
    mCurrent = mRoot;
}

cTarvelString cTarvelSavegame::OpenDocument(const cTarvelString& path)
{
    FreeDocument();
    mDocument = new TiXmlDocument();
    TiXmlBase::SetCondenseWhiteSpace(false);
    cTarvelString refusal = ReadDocument(path);
    if (refusal.Length() == 0)
        refusal = CheckDocument();
    if (refusal.Length() == 0)
        return "";
    FreeDocument();
    return kLoadPrefix + refusal;
}

cTarvelString cTarvelSavegame::Check(const cTarvelString& path)
{
    const cTarvelString refusal = OpenDocument(path);
    FreeDocument();
    return refusal;
}

bool cTarvelSavegame::Load(const cTarvelString& path, int startup)
{
    mRefusal = OpenDocument(path);
    if (mRefusal.Length() != 0) {
        // Refused before anything was replaced: the running game goes on,
        // whoever asked (ending it here would lose it, and the save at exit).
        if (!startup)
            std::printf("Error in function cTarvelSavegame::Load\n%s\n", mRefusal.c_str());
        return false;
    }

    // From here on the running game is replaced.
    gTarvel.mLights.SetFlashlight(false);
    if (cTarvelScene* scene = gTarvel.mScene) {
        scene->Leave(1);
        scene->Clear();
        gTarvel.mScene = nullptr;
        delete scene;
    }
    delete gTarvel.mPlayer;
    gTarvel.mPlayer = nullptr;
    ReadSymbols();

    EnterElement("Globals");
    const cTarvelString state = ReadString("State", "");
    gTarvel.mGameState = gTarvel.mPendingGameState = state;
    // The scene change copies the name of the scene left last from the
    // scene-name string: both hold the stored one, so it survives.
    gTarvel.mPreviousSceneName = gTarvel.mSceneName = ReadString("LastScene", "");
    mCurrent = mRoot;

    EnterElement("Scene");
    TiXmlElement* sceneElement = mCurrent;
    const cTarvelString sceneResource = GetAttributeString("name", "") + "." + state;
    const int slot = gTarvel.mResources.OpenResource(sceneResource.c_str(), kResourceScene);
    if (slot < 0)
        gTarvel.FatalError(0, kSourceFile, 938, "cTarvelSavegame::Load", cTarvelString(kLoadPrefix) + kSceneMissing, 0);
    auto* scene = new cTarvelScene();
    scene->mSlot = slot;
    if (gTarvel.ChangeScene(scene, 1) != 0)
        gTarvel.FatalError(0, kSourceFile, 943, "cTarvelSavegame::Load", cTarvelString(kLoadPrefix) + kSceneMissing, 0);
    mCurrent = sceneElement;
    scene->LoadState(*this);
    mCurrent = mRoot;

    if (EnterElement("PC")) {
        auto* player = new cTarvelActor(GetAttributeString("name", ""), gTarvel.mGameState, false);
        gTarvel.mPlayer = player;
        player->mIsPlayer = true;
        player->Load(*this);
        BindPlayerSymbol(player->mScript, player);
        for (cTarvelScriptValue& value : gSharedSymbols)
            if (value.name == "PC") {
                value.object = gScriptHandles.Bind(player, eScriptObjectType::Actor);
                break;
            }
        if (gTarvel.mScene)
            BindPlayerSymbol(gTarvel.mScene->mScript, player);
    }
    mCurrent = mRoot;

    auto element = [this](const char* name, auto&& load) {
        mCurrent = mRoot;
        if (EnterElement(name))
            load();
        mCurrent = mRoot;
    };
    element("Camera0", [&] { gTarvel.mCamera.Load(*this); });
    element("Camera1", [&] { gTarvel.mCamera2.Load(*this); });
    element("Inventory", [&] { gTarvel.mInventory.Load(*this); });
    element("PDA", [&] { gTarvel.mPDA.Load(*this); });
    element("Timer", [&] { gTarvel.mTimer.Load(*this); });
    element("Sound", [&] { gTarvel.mSound.Load(*this); });
    LoadActiveControls(*this);
    ReadGlobalsLate();

    gTarvel.mGraphics.mSkipPresent = true;
    gTarvel.mCutscene = 1;
    FreeDocument();
    return true;
}

void cTarvelSavegame::SaveThumbnail(const cTarvelString& path)
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    IDirect3DDevice9* device = graphics.mDevice;
    if (!device)
        return;
    IDirect3DSurface9* screen = nullptr;
    IDirect3DSurface9* picture = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(UINT(graphics.mWidth), UINT(graphics.mHeight), D3DFMT_A8R8G8B8,
                                                   D3DPOOL_SCRATCH, &screen, nullptr)))
        return;
    const cTarvelString temporary = TemporaryPath(path);
    bool saved = false;
    if (SUCCEEDED(device->GetFrontBufferData(0, screen)) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(512, 256, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &picture, nullptr))) {
        // The stage of the 1024 x 768 layout, in display pixels.
        const RECT stage{0, LONG(128.0f * graphics.mScaleY), LONG(1024.0f * graphics.mScaleX),
                         LONG(640.0f * graphics.mScaleY)};
        if (SUCCEEDED(D3DXLoadSurfaceFromSurface(picture, nullptr, nullptr, screen, nullptr, &stage,
                                                 D3DX_FILTER_TRIANGLE, 0)) &&
            SUCCEEDED(D3DXSaveSurfaceToFileA(temporary.c_str(), D3DXIFF_PNG, picture, nullptr, nullptr))) {
            const int fd = crt::_open(temporary.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
            saved = fd != -1 && FlushAndClose(fd) &&
                    MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }
        if (!saved)
            crt::_unlink(temporary.c_str());
    }
    if (picture)
        picture->Release();
    screen->Release();
}

bool cTarvelSavegame::IsSavegameHeader(int fd, uint8_t* header)
{
    // A short read leaves the rest zero, which no "sava" header can be.
    std::memset(header, 0, kHeaderSize);
    const int got = crt::_read(fd, header, kHeaderSize);
    if (got >= 4 && std::memcmp(header, "sava", 4) == 0)
        return true;
    std::memset(header, 0, kHeaderSize);
    return false;
}

TiXmlElement* cTarvelSavegame::AddElement(const char* name)
{
    TiXmlElement* element = new TiXmlElement(name);
    mCurrent->LinkEndChild(element);
    mCurrent = element;
    return element;
}

bool cTarvelSavegame::EnterElement(const char* name)
{
    TiXmlElement* element = mCurrent->FirstChildElement(name);
    if (!element)
        return false;
    mCurrent = element;
    return true;
}

bool cTarvelSavegame::NextElement(const char* name)
{
    TiXmlElement* element = mCurrent->NextSiblingElement(name);
    if (!element)
        return false;
    mCurrent = element;
    return true;
}

TiXmlElement* cTarvelSavegame::LeaveElement()
{
    // At the root there is no element to go up to; the cursor stays.
    TiXmlNode* parent = mCurrent->Parent();
    if (parent && parent->ToElement())
        mCurrent = parent->ToElement();
    return mCurrent;
}

void cTarvelSavegame::SetAttributeString(const char* name, cTarvelString value)
{
    mCurrent->SetAttribute(name, value.c_str());
}

cTarvelString cTarvelSavegame::GetAttributeString(const char* name,
                                                  cTarvelString defaultValue) const
{
    const char* text = mCurrent->Attribute(name);
    return text ? cTarvelString(text) : defaultValue;
}

void cTarvelSavegame::SetAttributeInt(const char* name, int32_t value)
{
    mCurrent->SetAttribute(name, value);
}

int32_t cTarvelSavegame::GetAttributeInt(const char* name, int32_t defaultValue) const
{
    const char* text = mCurrent->Attribute(name);
    if (!text || !BeginsWithNumber(text))
        return defaultValue;
    return TextToInt(text);
}

void cTarvelSavegame::WriteText(const char* name, const char* text)
{
    TiXmlElement* element = new TiXmlElement(name);
    // A blank value keeps no text node, as the printed document would not,
    // so it reads back as the reader's default before and after a reload.
    bool blank = true;
    for (const char* c = text; *c && blank; ++c)
        blank = std::isspace(static_cast<unsigned char>(*c)) != 0;
    if (!blank)
        element->LinkEndChild(new TiXmlText(text));
    mCurrent->LinkEndChild(element);
}

const char* cTarvelSavegame::ValueText(const char* name) const
{
    const TiXmlElement* element = mCurrent->FirstChildElement(name);
    if (!element)
        return nullptr;
    const TiXmlNode* child = element->FirstChild();
    if (!child || !child->ToText())
        return nullptr;
    return child->Value();
}

void cTarvelSavegame::WriteString(const char* name, cTarvelString value)
{
    WriteText(name, value.c_str());
}

cTarvelString cTarvelSavegame::ReadString(const char* name, cTarvelString defaultValue) const
{
    const char* text = ValueText(name);
    return text ? cTarvelString(text) : defaultValue;
}

void cTarvelSavegame::WriteInt(const char* name, int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    WriteText(name, text);
}

int32_t cTarvelSavegame::ReadInt(const char* name, int32_t defaultValue) const
{
    const char* text = ValueText(name);
    if (!text)
        return defaultValue;
    return TextToInt(text);
}

void cTarvelSavegame::WriteFloat(const char* name, float value)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%.8f", static_cast<double>(value));
    WriteText(name, text);
}

float cTarvelSavegame::ReadFloat(const char* name, float defaultValue) const
{
    const char* text = ValueText(name);
    return text ? NarrowToFloat(std::atof(text)) : defaultValue;
}

void cTarvelSavegame::WriteFloats(const char* name, const float* values, int count)
{
    // "%.8f" of the largest float is under 60 characters.
    char text[4 * 64];
    int used = 0;
    for (int i = 0; i < count; ++i)
        used += std::snprintf(text + used, sizeof(text) - static_cast<size_t>(used),
                              i ? " %.8f" : "%.8f", static_cast<double>(values[i]));
    WriteText(name, text);
}

void cTarvelSavegame::ReadFloats(const char* name, float* out, int count) const
{
    const char* text = ValueText(name);
    if (!text)
        return;
    // Only the leading fields that convert are set.
    float v[4];
    int n = std::sscanf(text, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
    for (int i = 0; i < n && i < count; ++i)
        out[i] = v[i];
}

void cTarvelSavegame::WriteVec2(const char* name, float x, float y)
{
    const float values[2] = {x, y};
    WriteFloats(name, values, 2);
}

void cTarvelSavegame::ReadVec2(const char* name, float* x, float* y) const
{
    float values[2] = {*x, *y};
    ReadFloats(name, values, 2);
    *x = values[0];
    *y = values[1];
}

void cTarvelSavegame::WriteVec3(const char* name, const float value[3])
{
    WriteFloats(name, value, 3);
}

void cTarvelSavegame::ReadVec3(const char* name, float out[3]) const
{
    ReadFloats(name, out, 3);
}

void cTarvelSavegame::WriteVec4(const char* name, const float value[4])
{
    WriteFloats(name, value, 4);
}

void cTarvelSavegame::ReadVec4(const char* name, float out[4]) const
{
    ReadFloats(name, out, 4);
}

void cTarvelSavegame::WriteTime(const char* name, float seconds)
{
    WriteFloat(name, seconds - gTarvel.mTimer.mGameSeconds);
}

float cTarvelSavegame::ReadTime(const char* name, float defaultSeconds) const
{
    return ReadFloat(name, defaultSeconds) + gTarvel.mTimer.mGameSeconds;
}

void cTarvelSavegame::WriteBinary(const char* name, const void* bytes, uint32_t count)
{
    const std::string text = Base64Encode(static_cast<const uint8_t*>(bytes), count);
    WriteText(name, text.c_str());
    mCurrent->LastChild()->ToElement()->SetAttribute("size", static_cast<int>(count));
}

void cTarvelSavegame::ReadBinary(const char* name, void* out, uint32_t count) const
{
    const char* text = ValueText(name);
    if (!text)
        return;
    Base64Decode(text, std::strlen(text), static_cast<uint8_t*>(out), count);
}

void cTarvelSavegame::WriteTimeMs(const char* name, DWORD time)
{
    WriteInt(name, static_cast<int32_t>(time - gTarvel.mTimer.mGameTime));
}

DWORD cTarvelSavegame::ReadTimeMs(const char* name, DWORD defaultValue) const
{
    const char* text = ValueText(name);
    DWORD now = gTarvel.mTimer.mGameTime;
    if (!text)
        return defaultValue + now;
    return static_cast<DWORD>(ReadInt(name, 0)) + now;
}
