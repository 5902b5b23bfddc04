#pragma once

#include <cstdint>

#include "engine/core/string.h"
#include "platform/win32/windows_types.h"

class TiXmlDocument;
class TiXmlElement;

// The savegame object: a cursor over the savegame's XML tree through which
// every engine object writes and reads its own element. Values are child
// elements of the current element holding one text node; a writer appends,
// a reader takes the first child of that name. Missing values are never an
// error: readers give their default.
//
// Save and Load write and read whole savegame files: a 164-byte header, then
// the zlib stream of the printed document with the text's length inserted
// after the stream's 13th byte.
class cTarvelSavegame {
public:
    cTarvelSavegame();
    ~cTarvelSavegame();
    cTarvelSavegame(const cTarvelSavegame&) = delete;
    cTarvelSavegame& operator=(const cTarvelSavegame&) = delete;

    // True when the game was restored. A file that cannot be loaded is
    // refused before anything is replaced: false, mRefusal says why and the
    // running game is left as it was. Without startup (the quiet flag: 1 for
    // "lastdemo" at start) the refusal is written to the log too.
    bool Load(const cTarvelString& path, int startup);
    // What Load would refuse path for ("" when it would load it); the game
    // is not touched.
    cTarvelString Check(const cTarvelString& path);
    // Writes a temporary file beside path and moves it over path once it is
    // on the disk, so an interrupted save keeps the previous file. False
    // when the file could not be written (logged, mRefusal says why).
    bool Save(const cTarvelString& path);
    // The stage as a 512 x 256 PNG picture, written the same way; a failing
    // step just ends it.
    void SaveThumbnail(const cTarvelString& path);

    static constexpr uint32_t kHeaderSize = 164;
    // The inflated text's length stands after the stream's first 13 bytes.
    static constexpr uint32_t kStreamHeadSize = 13;
    // Limits of what a file may ask the loader for.
    static constexpr uint32_t kMaxTextLength = 64u << 20;
    static constexpr uint32_t kMaxSymbolBytes = 16u << 20;
    static constexpr int kMaxElementDepth = 128;
    // Reads the header at fd's position: true when it starts with "sava";
    // otherwise header is zero-filled. The caller opens and closes fd.
    static bool IsSavegameHeader(int fd, uint8_t* header);

    // Structure.
    TiXmlElement* AddElement(const char* name);
    bool EnterElement(const char* name);
    bool NextElement(const char* name);
    TiXmlElement* LeaveElement();
    void SetAttributeString(const char* name, cTarvelString value);
    void SetAttributeInt(const char* name, int32_t value);
    cTarvelString GetAttributeString(const char* name, cTarvelString defaultValue) const;
    int32_t GetAttributeInt(const char* name, int32_t defaultValue) const;

    // Values: integers "%d", floats "%.8f", times relative to the game time.
    void WriteString(const char* name, cTarvelString value);
    cTarvelString ReadString(const char* name, cTarvelString defaultValue) const;
    void WriteInt(const char* name, int32_t value);
    int32_t ReadInt(const char* name, int32_t defaultValue) const;
    void WriteFloat(const char* name, float value);
    float ReadFloat(const char* name, float defaultValue) const;
    void WriteVec2(const char* name, float x, float y);
    void ReadVec2(const char* name, float* x, float* y) const;
    void WriteVec3(const char* name, const float value[3]);
    void ReadVec3(const char* name, float out[3]) const;
    void WriteVec4(const char* name, const float value[4]);
    void ReadVec4(const char* name, float out[4]) const;
    void WriteTime(const char* name, float seconds);
    float ReadTime(const char* name, float defaultSeconds) const;
    void WriteTimeMs(const char* name, DWORD time);
    DWORD ReadTimeMs(const char* name, DWORD defaultValue) const;
    // A block of bytes as base64 text with its count in the "size" attribute.
    // The reader takes the count from its caller and decodes only what the
    // text holds; bytes beyond it stay as they were.
    void WriteBinary(const char* name, const void* bytes, uint32_t count);
    void ReadBinary(const char* name, void* out, uint32_t count) const;

    // The document is owned; root and current point into it. Set up by the
    // savegame reader and writer around the objects' save and load calls.
    TiXmlDocument* mDocument;
    TiXmlElement* mRoot;
    TiXmlElement* mCurrent;
    // Why the last Load or Save failed, "" after one that succeeded.
    cTarvelString mRefusal;

private:
    // Reads, inflates and parses the file into mDocument; "" on success,
    // else the reason the file cannot be loaded. The game is not touched.
    cTarvelString ReadDocument(const cTarvelString& path);
    // What the restore needs that must be known before the game is replaced;
    // "" when the document has it all.
    cTarvelString CheckDocument();
    // A new document read from path and checked; "" when it may be loaded,
    // else the whole refusal message and no document.
    cTarvelString OpenDocument(const cTarvelString& path);
    bool SaveFailed(const char* message);
    void WriteSymbols();
    void ReadSymbols();
    void WriteGlobals();
    void ReadGlobalsLate();
    void FreeDocument();

    void WriteText(const char* name, const char* text);
    void WriteFloats(const char* name, const float* values, int count);
    void ReadFloats(const char* name, float* out, int count) const;
    // The text of the first child element of that name, null when it has none.
    const char* ValueText(const char* name) const;
};
