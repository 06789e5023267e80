#pragma once
// Sets of Unicode characters for trimming, splitting and percent encoding.

#include <functional>
#include <memory>
#include <set>

#include "platform/foundation/NSObject.h"

class NSCharacterSet : public NSObject {
 public:
  explicit NSCharacterSet(std::function<bool(char32_t)> predicate) : predicate_(std::move(predicate)) {}

  static std::shared_ptr<NSCharacterSet> whitespaceCharacterSet();
  static std::shared_ptr<NSCharacterSet> whitespaceAndNewlineCharacterSet();
  static std::shared_ptr<NSCharacterSet> newlineCharacterSet();
  static std::shared_ptr<NSCharacterSet> decimalDigitCharacterSet();
  static std::shared_ptr<NSCharacterSet> letterCharacterSet();
  static std::shared_ptr<NSCharacterSet> lowercaseLetterCharacterSet();
  static std::shared_ptr<NSCharacterSet> uppercaseLetterCharacterSet();
  static std::shared_ptr<NSCharacterSet> alphanumericCharacterSet();
  static std::shared_ptr<NSCharacterSet> punctuationCharacterSet();
  static std::shared_ptr<NSCharacterSet> controlCharacterSet();
  static std::shared_ptr<NSCharacterSet> characterSetWithCharactersInString(const std::shared_ptr<NSString>& characters);
  static std::shared_ptr<NSCharacterSet> characterSetWithRange(NSRange range);
  // RFC 3986 characters that may stand unescaped in each part of a URL.
  static std::shared_ptr<NSCharacterSet> URLQueryAllowedCharacterSet();
  static std::shared_ptr<NSCharacterSet> URLPathAllowedCharacterSet();
  static std::shared_ptr<NSCharacterSet> URLHostAllowedCharacterSet();
  static std::shared_ptr<NSCharacterSet> URLFragmentAllowedCharacterSet();
  static std::shared_ptr<NSCharacterSet> URLUserAllowedCharacterSet();
  static std::shared_ptr<NSCharacterSet> URLPasswordAllowedCharacterSet();

  bool characterIsMember(unichar c) const { return longCharacterIsMember(c); }
  virtual bool longCharacterIsMember(char32_t c) const { return predicate_(c); }
  std::shared_ptr<NSCharacterSet> invertedSet() const;

  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<class NSMutableCharacterSet> mutableCopy() const;

 protected:
  std::function<bool(char32_t)> predicate_;
};

class NSMutableCharacterSet : public NSCharacterSet {
 public:
  NSMutableCharacterSet() : NSCharacterSet([](char32_t) { return false; }) {}
  explicit NSMutableCharacterSet(std::function<bool(char32_t)> predicate) : NSCharacterSet(std::move(predicate)) {}

  void addCharactersInString(const std::shared_ptr<NSString>& characters);
  void removeCharactersInString(const std::shared_ptr<NSString>& characters);
  void addCharactersInRange(NSRange range);
  void removeCharactersInRange(NSRange range);
  void formUnionWithCharacterSet(const std::shared_ptr<NSCharacterSet>& other);
  void formIntersectionWithCharacterSet(const std::shared_ptr<NSCharacterSet>& other);
  void invert();

  id copyWithZone() const override;
};
