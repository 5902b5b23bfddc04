#include "engine/gameplay/savegame.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <tinyxml.h>

#include "engine/core/tarvel.h"

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

} // namespace

cTarvelSavegame::cTarvelSavegame() : mDocument(nullptr), mRoot(nullptr), mCurrent(nullptr) {}

cTarvelSavegame::~cTarvelSavegame()
{
    delete mDocument;
    mDocument = nullptr;
}

bool cTarvelSavegame::Load(const cTarvelString&, int)
{
    return false;
}

void cTarvelSavegame::Save(const cTarvelString&) {}

void cTarvelSavegame::SaveThumbnail(const cTarvelString&) {}

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

void cTarvelSavegame::WriteVec3(const char* name, const float value[3])
{
    char text[192];
    std::snprintf(text, sizeof(text), "%.8f %.8f %.8f", static_cast<double>(value[0]),
                  static_cast<double>(value[1]), static_cast<double>(value[2]));
    WriteText(name, text);
}

void cTarvelSavegame::ReadVec3(const char* name, float out[3]) const
{
    const char* text = ValueText(name);
    if (!text)
        return;
    // Only the leading fields that convert are set.
    float v[3];
    int n = std::sscanf(text, "%f %f %f", &v[0], &v[1], &v[2]);
    for (int i = 0; i < n; ++i)
        out[i] = v[i];
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
