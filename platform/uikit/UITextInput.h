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

enum UIKeyboardType : NSInteger {
  UIKeyboardTypeDefault,
  UIKeyboardTypeASCIICapable,
  UIKeyboardTypeNumbersAndPunctuation,
  UIKeyboardTypeURL,
  UIKeyboardTypeNumberPad,
  UIKeyboardTypePhonePad,
  UIKeyboardTypeNamePhonePad,
  UIKeyboardTypeEmailAddress,
  UIKeyboardTypeDecimalPad,
  UIKeyboardTypeTwitter,
  UIKeyboardTypeWebSearch,
};

enum UIReturnKeyType : NSInteger {
  UIReturnKeyDefault,
  UIReturnKeyGo,
  UIReturnKeyGoogle,
  UIReturnKeyJoin,
  UIReturnKeyNext,
  UIReturnKeyRoute,
  UIReturnKeySearch,
  UIReturnKeySend,
  UIReturnKeyYahoo,
  UIReturnKeyDone,
  UIReturnKeyEmergencyCall,
};

enum UITextAutocapitalizationType : NSInteger {
  UITextAutocapitalizationTypeNone,
  UITextAutocapitalizationTypeWords,
  UITextAutocapitalizationTypeSentences,
  UITextAutocapitalizationTypeAllCharacters,
};

enum UITextAutocorrectionType : NSInteger {
  UITextAutocorrectionTypeDefault,
  UITextAutocorrectionTypeNo,
  UITextAutocorrectionTypeYes,
};

enum UITextSpellCheckingType : NSInteger {
  UITextSpellCheckingTypeDefault,
  UITextSpellCheckingTypeNo,
  UITextSpellCheckingTypeYes,
};

enum UIKeyboardAppearance : NSInteger {
  UIKeyboardAppearanceDefault,
  UIKeyboardAppearanceDark,
  UIKeyboardAppearanceLight,
};

// UITextInputTraits: what keyboard a text input asks for. The keyboard type decides what the
// device can type (a number pad has digits and no return key, see UIKeyboard.h); the others
// are kept for the drawing of the keyboard and change no behaviour.
class UITextInputTraits {
 public:
  virtual ~UITextInputTraits() = default;
  UIKeyboardType keyboardType() const { return keyboardType_; }
  void setKeyboardType(UIKeyboardType type) { keyboardType_ = type; }
  UIReturnKeyType returnKeyType() const { return returnKeyType_; }
  void setReturnKeyType(UIReturnKeyType type) { returnKeyType_ = type; }
  UIKeyboardAppearance keyboardAppearance() const { return keyboardAppearance_; }
  void setKeyboardAppearance(UIKeyboardAppearance appearance) { keyboardAppearance_ = appearance; }
  UITextAutocapitalizationType autocapitalizationType() const { return autocapitalizationType_; }
  void setAutocapitalizationType(UITextAutocapitalizationType type) { autocapitalizationType_ = type; }
  UITextAutocorrectionType autocorrectionType() const { return autocorrectionType_; }
  void setAutocorrectionType(UITextAutocorrectionType type) { autocorrectionType_ = type; }
  UITextSpellCheckingType spellCheckingType() const { return spellCheckingType_; }
  void setSpellCheckingType(UITextSpellCheckingType type) { spellCheckingType_ = type; }
  bool enablesReturnKeyAutomatically() const { return enablesReturnKeyAutomatically_; }
  void setEnablesReturnKeyAutomatically(bool enables) { enablesReturnKeyAutomatically_ = enables; }
  bool isSecureTextEntry() const { return secureTextEntry_; }
  virtual void setSecureTextEntry(bool secure) { secureTextEntry_ = secure; }

 private:
  UIKeyboardType keyboardType_ = UIKeyboardTypeDefault;
  UIReturnKeyType returnKeyType_ = UIReturnKeyDefault;
  UIKeyboardAppearance keyboardAppearance_ = UIKeyboardAppearanceDefault;
  UITextAutocapitalizationType autocapitalizationType_ = UITextAutocapitalizationTypeSentences;
  UITextAutocorrectionType autocorrectionType_ = UITextAutocorrectionTypeDefault;
  UITextSpellCheckingType spellCheckingType_ = UITextSpellCheckingTypeDefault;
  bool enablesReturnKeyAutomatically_ = false;
  bool secureTextEntry_ = false;
};
