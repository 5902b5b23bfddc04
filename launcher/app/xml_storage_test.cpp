// The launcher text file reader over its XML cases: languages, a wrong
// root, unparseable text, references resolved once, text split by a
// comment, white space between elements, bounds of the cursor.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "launcher/app/xml_storage.h"
#include "platform/win32/test_support.h"

namespace launcher {
namespace {

class XmlStorageTest : public platform::testing::PlatformTest {};

// The index of the first child named `name`, or -1.
int Find(const TXmlStorage& s, const std::u16string& name) {
  for (int i = 0; i < s.ChildCount(); ++i) {
    if (s.GetChildName(i) == name) return i;
  }
  return -1;
}

// The text of root/group/key, walked by names as the launcher walks it.
std::u16string Key(TXmlStorage& s, const std::u16string& lang, const std::u16string& group, const std::u16string& key) {
  const int l = Find(s, lang);
  if (l < 0 || !s.GoChild(l)) return u"<no language>";
  const int g = Find(s, group);
  if (g < 0 || !s.GoChild(g)) return u"<no group>";
  const int k = Find(s, key);
  std::u16string text = u"<no key>";
  if (k >= 0 && s.GoChild(k)) {
    text = s.GetText();
    s.GoParent();
  }
  s.GoParent();
  s.GoParent();
  return text;
}

TEST_F(XmlStorageTest, LanguagesGroupsAndKeys) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<launcherstr>\n"
      "  <lang7>\n    <main><caption>Spiel &amp; mehr</caption><install>Installieren</install></main>\n  </lang7>\n"
      "  <default>\n    <main><caption>Game</caption></main>\n"
      "    <msg><msgos>Needs a newer system.</msgos></msg>\n  </default>\n"
      "</launcherstr>\n";
  TXmlStorage s;
  ASSERT_TRUE(s.LoadFromStream(xml)) << s.ErrorMessage();
  EXPECT_EQ(s.GetName(), u"launcherstr");
  EXPECT_EQ(Key(s, u"lang7", u"main", u"caption"), u"Spiel & mehr");
  EXPECT_EQ(Key(s, u"lang7", u"main", u"install"), u"Installieren");
  EXPECT_EQ(Key(s, u"default", u"msg", u"msgos"), u"Needs a newer system.");
  EXPECT_EQ(Key(s, u"lang9", u"main", u"caption"), u"<no language>");
  EXPECT_EQ(Key(s, u"default", u"main", u"startgame"), u"<no key>");
  EXPECT_EQ(s.GetName(), u"launcherstr");  // the walks came back
  // Elements keep their order whatever lies between them.
  EXPECT_LT(Find(s, u"lang7"), Find(s, u"default"));
  for (int i = 0; i < s.ChildCount(); ++i) {
    const std::u16string name = s.GetChildName(i);
    EXPECT_TRUE(name == u"lang7" || name == u"default" || name == u"#text") << i;
  }
}

TEST_F(XmlStorageTest, TextCases) {
  struct Case {
    const char* xml;
    std::u16string text;
  } cases[] = {
      {"<k>ab<!-- between -->cd</k>", u"abcd"},
      {"<k>&amp;</k>", u"&"},
      {"<k>&amp;lt;</k>", u"&lt;"},  // resolved once
      {"<k>&lt;&gt;&quot;&apos;</k>", u"<>\"'"},
      {"<k>&#228;&#x263A;</k>", u"\u00E4\u263A"},
      {"<k>caf\xC3\xA9</k>", u"caf\u00E9"},
      {"<k>caf\xE9</k>", u"caf\u00E9"},  // no UTF-8: Windows-1252
      {"<k>  two  spaces  </k>", u"  two  spaces  "},
      {"<k>a<b>nested</b>c</k>", u"ac"},
      {"<k><![CDATA[x < y]]></k>", u"x < y"},
      {"<k/>", u""},
  };
  for (const Case& c : cases) {
    TXmlStorage s;
    ASSERT_TRUE(s.LoadFromStream(c.xml)) << c.xml << ": " << s.ErrorMessage();
    EXPECT_EQ(s.GetText(), c.text) << c.xml;
  }
}

TEST_F(XmlStorageTest, FailuresLeaveNothingToWalk) {
  const char* bad[] = {"", "   ", "<r><a></r>", "<r>", "not xml at all", "<!-- only a comment -->",
                       "<r attr=\"unterminated></r>"};
  for (const char* xml : bad) {
    TXmlStorage s;
    EXPECT_FALSE(s.LoadFromStream(xml)) << xml;
    EXPECT_FALSE(s.ErrorMessage().empty()) << xml;
    EXPECT_FALSE(s.Loaded());
    EXPECT_EQ(s.ChildCount(), 0);
    EXPECT_FALSE(s.GoChild(0));
    EXPECT_EQ(s.GetName(), u"");
    EXPECT_EQ(s.GetText(), u"");
  }
  // A deep document is refused before the parser recurses into it.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  TXmlStorage s;
  EXPECT_FALSE(s.LoadFromStream(deep));
  // A good document after a bad one, and a missing file after that.
  EXPECT_TRUE(s.LoadFromStream("<launcherstr/>"));
  EXPECT_FALSE(s.LoadFromFile(work_ + "/launcher.xml"));
  EXPECT_NE(s.ErrorMessage().find("Cannot open file"), std::string::npos);
  EXPECT_FALSE(s.Loaded());
  std::ofstream(work_ + "/launcher.xml") << "<other><default/></other>";
  ASSERT_TRUE(s.LoadFromFile(work_ + "/launcher.xml"));
  EXPECT_EQ(s.GetName(), u"other");  // the caller judges the root's name
}

TEST_F(XmlStorageTest, CursorStaysInBounds) {
  TXmlStorage s;
  ASSERT_TRUE(s.LoadFromStream("<r><a>text</a><b/></r>"));
  ASSERT_EQ(s.ChildCount(), 2);
  for (int bad : {-1, 2, 1000}) {
    EXPECT_FALSE(s.GoChild(bad)) << bad;
    EXPECT_EQ(s.GetChildName(bad), u"") << bad;
  }
  EXPECT_FALSE(s.GoParent());  // never above the root
  EXPECT_EQ(s.GetName(), u"r");
  ASSERT_TRUE(s.GoChild(0));
  ASSERT_TRUE(s.GoChild(0));
  EXPECT_EQ(s.GetName(), u"#text");
  EXPECT_EQ(s.ChildCount(), 0);
  EXPECT_TRUE(s.GoParent());
  EXPECT_TRUE(s.GoParent());
  EXPECT_EQ(s.GetName(), u"r");
}

}  // namespace
}  // namespace launcher
