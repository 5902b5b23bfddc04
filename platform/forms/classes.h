// The object model: objects with class names, persistent objects with
// published properties declared by name, and components owned by
// components (freed by their owner, last added first), with loading and
// destroying states and removal notices.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace forms {

class TObject {
 public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

class TPersistent;
class TComponent;
// A property value set by name: integers (enumerations, colours, Booleans),
// texts and object references.
using TPropValue = std::variant<int64_t, std::string, TPersistent*>;

class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // The published properties of the object's class, by name.
  virtual std::vector<std::string> PublishedProperties() const { return {}; }
  bool HasPublishedProperty(const std::string& name) const;
  // False for a property the class does not publish or a value of the
  // wrong kind.
  virtual bool SetPublishedProperty(const std::string& name, const TPropValue& value);
  virtual bool GetPublishedProperty(const std::string& name, TPropValue* value) const;
};

enum TComponentStateBits : uint32_t { csLoading = 1, csReading = 2, csWriting = 4, csDestroying = 8, csDesigning = 16 };
using TComponentState = uint32_t;
enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  std::string ClassName() const override { return "TComponent"; }
  std::vector<std::string> PublishedProperties() const override { return {"Name", "Tag"}; }

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_[static_cast<size_t>(i)]; }
  std::string Name;
  intptr_t Tag = 0;
  TComponentState ComponentState() const { return state_; }

  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  // Asks `c` to be told (Notification opRemove) when this is destroyed.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);

  // Loading state: set while a form is being built from its description;
  // Loaded ends it (and tells the owned components).
  void BeginLoading();
  virtual void Loaded();
  // Marks this and its owned components as being destroyed.
  void Destroying();

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  void SetDesigning(bool on);

 private:
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_ = 0;
};

}  // namespace forms
