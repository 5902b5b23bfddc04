#pragma once

#include <cstdint>

namespace Anim {

// Base of the materials an actor holds per level of detail, shared through
// AnimCore::Pointer handles and deleted through this destructor. The name is kept
// as an id of the library's string registry.
//
// The base stays constructible (type 0) so that code needing only a material slot,
// not its contents, can make one.
class Material {
 public:
  Material() : Material("") {}
  explicit Material(const char* name);
  Material(const Material&) = delete;
  Material& operator=(const Material&) = delete;
  virtual ~Material() = default;

  virtual uint32_t GetType() const { return 0; }
  virtual const char* GetTypeString() const { return "Material"; }
  // A new material of the same class with every field copied (made with
  // AnimCore::New, category 201); null when memory runs out.
  virtual Material* Clone() const;

  // Tag of the constructors that Clone uses.
  struct CopyTag {};
  Material(CopyTag, uint32_t nameID) : mNameID(nameID) {}

  // The registry's text for the name id; "" when it holds no characters.
  const char* GetName() const;
  uint32_t GetNameID() const { return mNameID; }

 private:
  uint32_t mNameID;
};

}  // namespace Anim
