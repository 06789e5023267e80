#pragma once
// UIKeyInput: what the keyboard types into. The first responder, when it adopts this protocol,
// gets each typed character through insertText (the return key inserts "\n", as on the device)
// and each backspace through deleteBackward.

#include <memory>

#include "platform/foundation/NSString.h"

class UIKeyInput {
 public:
  virtual ~UIKeyInput() = default;
  virtual bool hasText() const = 0;
  virtual void insertText(const std::shared_ptr<NSString>& text) = 0;
  virtual void deleteBackward() = 0;
};
