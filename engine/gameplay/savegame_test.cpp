#include "engine/gameplay/savegame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "platform/win32/crt.h"

namespace {

class SavegameCursorTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        mRoot = new TiXmlElement("Demogame");
        mDocument.LinkEndChild(mRoot);
        Cursor().mRoot = Cursor().mCurrent = mRoot;
    }
    void TearDown() override
    {
        Cursor().mRoot = Cursor().mCurrent = nullptr;
        EngineTest::TearDown();
    }
    static cTarvelSavegame& Cursor() { return gTarvel.mSavegame; }
    std::string Text(const char* name) const
    {
        const TiXmlElement* element = mRoot->FirstChildElement(name);
        return element && element->GetText() ? element->GetText() : "";
    }
    // Prints the document and parses it back, as a save and a load do.
    void RoundTrip()
    {
        TiXmlPrinter printer;
        mDocument.Accept(&printer);
        mDocument.Clear();
        mDocument.Parse(printer.CStr());
        mRoot = mDocument.RootElement();
        ASSERT_NE(mRoot, nullptr);
        Cursor().mRoot = Cursor().mCurrent = mRoot;
    }

    TiXmlDocument mDocument;
    TiXmlElement* mRoot = nullptr;
};

TEST_F(SavegameCursorTest, ValueFormats)
{
    Cursor().WriteInt("Int", -12);
    Cursor().WriteFloat("Half", 0.5f);
    const float position[3] = {1.0f, 2.0f, 0.5f};
    Cursor().WriteVec3("Position", position);
    Cursor().WriteString("Name", "Kitchen");
    EXPECT_EQ(Text("Int"), "-12");
    EXPECT_EQ(Text("Half"), "0.50000000");
    EXPECT_EQ(Text("Position"), "1.00000000 2.00000000 0.50000000");
    EXPECT_EQ(Text("Name"), "Kitchen");
    // Writers leave the cursor where it was.
    EXPECT_EQ(Cursor().mCurrent, mRoot);

    RoundTrip();
    EXPECT_EQ(Cursor().ReadInt("Int", 7), -12);
    EXPECT_FLOAT_EQ(Cursor().ReadFloat("Half", 7.0f), 0.5f);
    float out[3] = {0, 0, 0};
    Cursor().ReadVec3("Position", out);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 2.0f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
    EXPECT_STREQ(Cursor().ReadString("Name", "x").c_str(), "Kitchen");
}

TEST_F(SavegameCursorTest, MissingOrUnreadableValues)
{
    mRoot->LinkEndChild(new TiXmlElement("Empty"));
    Cursor().WriteString("Partly", "12abc");
    Cursor().WriteString("Word", "abc");
    Cursor().WriteString("Vector", "4 5 x");
    Cursor().WriteString("Large", "1e300");
    EXPECT_EQ(Cursor().ReadInt("Missing", 7), 7);
    EXPECT_EQ(Cursor().ReadInt("Empty", 7), 7);
    EXPECT_EQ(Cursor().ReadInt("Partly", 7), 12);
    EXPECT_EQ(Cursor().ReadInt("Word", 7), 0);
    EXPECT_EQ(Cursor().ReadFloat("Word", 7.0f), 0.0f);
    EXPECT_EQ(Cursor().ReadFloat("Missing", 7.0f), 7.0f);
    EXPECT_EQ(Cursor().ReadFloat("Large", 7.0f), HUGE_VALF);
    EXPECT_STREQ(Cursor().ReadString("Missing", "dflt").c_str(), "dflt");
    float v[3] = {9, 9, 9};
    Cursor().ReadVec3("Missing", v);
    EXPECT_EQ(v[0], 9.0f);
    Cursor().ReadVec3("Vector", v);
    EXPECT_EQ(v[0], 4.0f);
    EXPECT_EQ(v[1], 5.0f);
    EXPECT_EQ(v[2], 9.0f);
}

TEST_F(SavegameCursorTest, EmptyStringReadsBackAsTheDefault)
{
    Cursor().WriteString("Empty", "");
    Cursor().WriteString("Blank", "   ");
    RoundTrip();
    EXPECT_STREQ(Cursor().ReadString("Empty", "dflt").c_str(), "dflt");
    EXPECT_STREQ(Cursor().ReadString("Blank", "dflt").c_str(), "dflt");
}

TEST_F(SavegameCursorTest, ElementsAndAttributes)
{
    Cursor().SetAttributeInt("Count", 3);
    TiXmlElement* first = Cursor().AddElement("Control");
    Cursor().WriteInt("Id", 1);
    EXPECT_EQ(Cursor().LeaveElement(), mRoot);
    Cursor().AddElement("Control");
    Cursor().WriteInt("Id", 2);
    Cursor().LeaveElement();
    Cursor().WriteInt("Id", 10);
    Cursor().WriteInt("Id", 20);
    mRoot->SetAttribute("Word", "abc");
    mRoot->SetAttribute("Padded", " -7x");
    mRoot->SetAttribute("Huge", "99999999999");

    EXPECT_EQ(Cursor().GetAttributeInt("Count", -1), 3);
    EXPECT_EQ(Cursor().GetAttributeInt("Missing", -1), -1);
    EXPECT_EQ(Cursor().GetAttributeInt("Word", -1), -1);
    EXPECT_EQ(Cursor().GetAttributeInt("Padded", -1), -7);
    EXPECT_EQ(Cursor().GetAttributeInt("Huge", -1), INT32_MAX);
    // Readers see only the first of like children.
    EXPECT_EQ(Cursor().ReadInt("Id", 0), 10);

    EXPECT_FALSE(Cursor().EnterElement("Nothing"));
    EXPECT_EQ(Cursor().mCurrent, mRoot);
    ASSERT_TRUE(Cursor().EnterElement("Control"));
    EXPECT_EQ(Cursor().mCurrent, first);
    EXPECT_EQ(Cursor().ReadInt("Id", 0), 1);
    ASSERT_TRUE(Cursor().NextElement("Control"));
    EXPECT_EQ(Cursor().ReadInt("Id", 0), 2);
    EXPECT_FALSE(Cursor().NextElement("Control"));
    EXPECT_EQ(Cursor().ReadInt("Id", 0), 2);
    Cursor().LeaveElement();
    EXPECT_EQ(Cursor().mCurrent, mRoot);
    // At the root there is nowhere to go.
    EXPECT_EQ(Cursor().LeaveElement(), mRoot);
}

TEST_F(SavegameCursorTest, TimesAreRelativeToTheGameTime)
{
    gTarvel.mTimer.mGameTime = 10000;
    Cursor().WriteTimeMs("Due", 12500);
    Cursor().WriteTimeMs("Past", 9000);
    EXPECT_EQ(Text("Due"), "2500");
    EXPECT_EQ(Text("Past"), "-1000");
    gTarvel.mTimer.mGameTime = 50000;
    EXPECT_EQ(Cursor().ReadTimeMs("Due", 0), 52500u);
    EXPECT_EQ(Cursor().ReadTimeMs("Past", 0), 49000u);
    EXPECT_EQ(Cursor().ReadTimeMs("Missing", 300), 50300u);
}

TEST_F(SavegameCursorTest, SecondsAndVectorsOfTwoAndFour)
{
    gTarvel.mTimer.mGameSeconds = 10.0f;
    Cursor().WriteTime("Ends", 12.5f);
    Cursor().WriteVec2("Size", 1.0f, 2.0f);
    const float colour[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    Cursor().WriteVec4("Colour", colour);
    mRoot->LinkEndChild(new TiXmlElement("Pair"))->LinkEndChild(new TiXmlText("3 x"));
    EXPECT_EQ(Text("Ends"), "2.50000000");
    EXPECT_EQ(Text("Size"), "1.00000000 2.00000000");
    EXPECT_EQ(Text("Colour"), "0.25000000 0.50000000 0.75000000 1.00000000");

    gTarvel.mTimer.mGameSeconds = 100.0f;
    EXPECT_FLOAT_EQ(Cursor().ReadTime("Ends", 0.0f), 102.5f);
    EXPECT_FLOAT_EQ(Cursor().ReadTime("Missing", 1.0f), 101.0f);
    float x = -1.0f, y = -1.0f;
    Cursor().ReadVec2("Size", &x, &y);
    EXPECT_EQ(x, 1.0f);
    EXPECT_EQ(y, 2.0f);
    x = y = -1.0f;
    Cursor().ReadVec2("Pair", &x, &y);  // only the leading field converts
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(y, -1.0f);
    float out[4] = {};
    Cursor().ReadVec4("Colour", out);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[3], 1.0f);
}

TEST_F(SavegameCursorTest, BinaryBlocksAsBase64)
{
    struct Case {
        const char* bytes;
        uint32_t count;
        const char* text;
    };
    const Case cases[] = {
        {"abc", 3, "YWJj"}, {"ab", 2, "YWI="}, {"a", 1, "YQ=="}, {"", 0, ""},
        {"\xff\x00\x80\x7f", 4, "/wCAfw=="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        mRoot->Clear();
        Cursor().WriteBinary("Block", c.bytes, c.count);
        EXPECT_EQ(Text("Block"), c.text);
        EXPECT_EQ(mRoot->FirstChildElement("Block")->Attribute("size"), std::to_string(c.count));
        RoundTrip();
        uint8_t out[8];
        std::memset(out, 0xEE, sizeof(out));
        Cursor().ReadBinary("Block", out, c.count);
        EXPECT_EQ(std::memcmp(out, c.bytes, c.count), 0);
        EXPECT_EQ(out[c.count], 0xEE);
    }
}

TEST_F(SavegameCursorTest, DamagedBinaryTextDecodesOnlyWhatItHolds)
{
    // Text shorter than the count, and characters outside the alphabet:
    // never read past the text, never write past what the text holds.
    mRoot->LinkEndChild(new TiXmlElement("Short"))->LinkEndChild(new TiXmlText("YWJj\xc3\xa9"));
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof(out));
    Cursor().ReadBinary("Short", out, sizeof(out));
    EXPECT_EQ(std::memcmp(out, "abc", 3), 0);
    EXPECT_EQ(out[4], 0xEE);
    EXPECT_EQ(out[15], 0xEE);
}

TEST_F(SavegameCursorTest, StringAttributes)
{
    Cursor().SetAttributeString("name", "Main");
    Cursor().SetAttributeString("name", "Kitchen");
    EXPECT_STREQ(Cursor().GetAttributeString("name", "").c_str(), "Kitchen");
    EXPECT_STREQ(Cursor().GetAttributeString("missing", "dflt").c_str(), "dflt");
}

TEST_F(SavegameCursorTest, HeaderCheckReadsOnlyTheHeader)
{
    struct tCase {
        std::string bytes;
        bool isHeader;
    } cases[] = {
        {"sava" + std::string(200, 'x'), true},
        {"sava", true},  // a short file still begins with the mark
        {"savx" + std::string(200, 'x'), false},
        {"sav", false},
        {"", false},
    };
    for (const tCase& c : cases) {
        const std::string path = (TempDir() / "header.demogame").string();
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        std::fclose(f);
        const int fd = crt::_open(path.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
        ASSERT_GE(fd, 0);
        uint8_t header[cTarvelSavegame::kHeaderSize];
        std::memset(header, 0xAB, sizeof header);
        EXPECT_EQ(cTarvelSavegame::IsSavegameHeader(fd, header), c.isHeader) << c.bytes.size();
        if (c.isHeader) {
            EXPECT_EQ(std::memcmp(header, c.bytes.data(), std::min<size_t>(c.bytes.size(), 164)), 0);
            EXPECT_EQ(crt::_tell(fd), static_cast<long>(std::min<size_t>(c.bytes.size(), 164)));
        } else {
            EXPECT_EQ(std::count(header, header + sizeof header, 0), 164);
        }
        crt::_close(fd);
    }
}

} // namespace
