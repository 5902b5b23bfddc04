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
// Writing and reading whole savegame files comes with the savegame issue;
// until then Load finds no savegame and Save writes nothing.
class cTarvelSavegame {
public:
    cTarvelSavegame();
    ~cTarvelSavegame();
    cTarvelSavegame(const cTarvelSavegame&) = delete;
    cTarvelSavegame& operator=(const cTarvelSavegame&) = delete;

    // True when the game was restored; startup is 1 for "lastdemo" at start.
    bool Load(const cTarvelString& path, int startup);
    void Save(const cTarvelString& path);
    void SaveThumbnail(const cTarvelString& path);

    // Structure.
    TiXmlElement* AddElement(const char* name);
    bool EnterElement(const char* name);
    bool NextElement(const char* name);
    TiXmlElement* LeaveElement();
    void SetAttributeInt(const char* name, int32_t value);
    int32_t GetAttributeInt(const char* name, int32_t defaultValue) const;

    // Values: integers "%d", floats "%.8f", times relative to the game time.
    void WriteString(const char* name, cTarvelString value);
    cTarvelString ReadString(const char* name, cTarvelString defaultValue) const;
    void WriteInt(const char* name, int32_t value);
    int32_t ReadInt(const char* name, int32_t defaultValue) const;
    void WriteFloat(const char* name, float value);
    float ReadFloat(const char* name, float defaultValue) const;
    void WriteVec3(const char* name, const float value[3]);
    void ReadVec3(const char* name, float out[3]) const;
    void WriteTimeMs(const char* name, DWORD time);
    DWORD ReadTimeMs(const char* name, DWORD defaultValue) const;

    // The document is owned; root and current point into it. Set up by the
    // savegame reader and writer around the objects' save and load calls.
    TiXmlDocument* mDocument;
    TiXmlElement* mRoot;
    TiXmlElement* mCurrent;

private:
    void WriteText(const char* name, const char* text);
    // The text of the first child element of that name, null when it has none.
    const char* ValueText(const char* name) const;
};
