#include "demo/tests/savegame_check.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace demo {

bool ReadSavegameFile(const std::filesystem::path& path, testkit::SavegameContents* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "no savegame " << path;
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::string error;
  if (!testkit::ReadSavegame(bytes, out, &error)) {
    ADD_FAILURE() << path << " is refused by the dumper: " << error;
    return false;
  }
  return true;
}

namespace {

const TiXmlElement* Root(TiXmlDocument& doc, const std::string& xml) {
  doc.Parse(xml.c_str());
  if (doc.Error()) {
    ADD_FAILURE() << "savegame XML: " << doc.ErrorDesc();
    return nullptr;
  }
  return doc.RootElement();
}

std::string Text(const TiXmlElement* e) { return e && e->GetText() ? e->GetText() : ""; }

}  // namespace

std::string SharedVariable(const std::string& xml, const std::string& name) {
  TiXmlDocument doc;
  const TiXmlElement* root = Root(doc, xml);
  const TiXmlElement* symbols = root ? root->FirstChildElement("Symbols") : nullptr;
  for (const TiXmlElement* s = symbols ? symbols->FirstChildElement("Symbol") : nullptr; s;
       s = s->NextSiblingElement("Symbol")) {
    if (Text(s->FirstChildElement("Name")) == name) return Text(s->FirstChildElement("AsString"));
  }
  return "";
}

std::vector<std::string> InventoryItems(const std::string& xml) {
  std::vector<std::string> items;
  TiXmlDocument doc;
  const TiXmlElement* root = Root(doc, xml);
  const TiXmlElement* inventory = root ? root->FirstChildElement("Inventory") : nullptr;
  for (const TiXmlElement* i = inventory ? inventory->FirstChildElement("Item") : nullptr; i;
       i = i->NextSiblingElement("Item")) {
    const char* name = i->Attribute("name");
    items.push_back(name ? name : "");
  }
  return items;
}

std::string ElementText(const std::string& xml, const std::string& path) {
  TiXmlDocument doc;
  const TiXmlElement* e = Root(doc, xml);
  std::istringstream parts(path);
  for (std::string part; e && std::getline(parts, part, '/');) e = e->FirstChildElement(part.c_str());
  return Text(e);
}

}  // namespace demo
