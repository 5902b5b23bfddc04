// The application's events object: its message hook sees every message
// the application takes from the queue before it is dispatched.
#pragma once

#include <functional>
#include <string>

#include "platform/forms/forms.h"

namespace forms {

using TMessageEvent = std::function<void(MSG& msg, bool& handled)>;

class TApplicationEvents : public TComponent {
 public:
  explicit TApplicationEvents(TComponent* owner);
  ~TApplicationEvents() override;
  std::string ClassName() const override { return "TApplicationEvents"; }
  // A handled message is not dispatched.
  TMessageEvent OnMessage;
};

}  // namespace forms
