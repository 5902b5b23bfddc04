#include "engine/gameplay/savegame.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "platform/win32/crt.h"

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

bool cTarvelSavegame::Load(const cTarvelString&, int)
{
    return false;
}

void cTarvelSavegame::Save(const cTarvelString&) {}

void cTarvelSavegame::SaveThumbnail(const cTarvelString&) {}

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
