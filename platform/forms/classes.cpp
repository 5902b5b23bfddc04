#include "platform/forms/classes.h"

#include <algorithm>

namespace forms {

bool TPersistent::HasPublishedProperty(const std::string& name) const {
  auto props = PublishedProperties();
  return std::find(props.begin(), props.end(), name) != props.end();
}

bool TPersistent::SetPublishedProperty(const std::string&, const TPropValue&) { return false; }
bool TPersistent::GetPublishedProperty(const std::string&, TPropValue*) const { return false; }

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Everyone who asked is told, then the owned components go, last first.
  std::vector<TComponent*> notify;
  notify.swap(freeNotifies_);
  for (TComponent* c : notify) {
    c->RemoveFreeNotification(this);
    c->Notification(this, TOperation::opRemove);
  }
  while (!components_.empty()) {
    TComponent* c = components_.back();
    RemoveComponent(c);
    delete c;
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->owner_ == this) return;
  if (c->owner_) c->owner_->RemoveComponent(c);
  components_.push_back(c);
  c->owner_ = this;
  Notification(c, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it == components_.end()) return;
  // Everyone owned by this hears of the removal, as owned siblings refer
  // to each other.
  if (!(state_ & csDestroying)) {
    for (TComponent* other : std::vector<TComponent*>(components_)) {
      if (other != c) other->Notification(c, TOperation::opRemove);
    }
  }
  Notification(c, TOperation::opRemove);
  components_.erase(std::find(components_.begin(), components_.end(), c));
  c->owner_ = nullptr;
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), c) == freeNotifies_.end()) freeNotifies_.push_back(c);
  if (std::find(c->freeNotifies_.begin(), c->freeNotifies_.end(), this) == c->freeNotifies_.end()) {
    c->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* c) {
  std::erase(freeNotifies_, c);
  if (c) std::erase(c->freeNotifies_, this);
}

void TComponent::BeginLoading() {
  state_ |= csLoading;
  for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::Loaded() {
  state_ &= ~csLoading;
  for (TComponent* c : std::vector<TComponent*>(components_)) {
    if (c->state_ & csLoading) c->Loaded();
  }
}

void TComponent::Destroying() {
  if (state_ & csDestroying) return;
  state_ |= csDestroying;
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SetDesigning(bool on) {
  if (on) state_ |= csDesigning;
  else state_ &= ~csDesigning;
}

}  // namespace forms
