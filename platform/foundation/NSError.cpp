#include "platform/foundation/NSError.h"

#include <algorithm>

#include "platform/foundation/NSException.h"

NSError::NSError(std::shared_ptr<NSString> domain, NSInteger code, std::shared_ptr<NSDictionary> userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(userInfo ? std::move(userInfo) : NSDictionary::dictionary()) {}

std::shared_ptr<NSError> NSError::errorWithDomain(const std::shared_ptr<NSString>& domain, NSInteger code,
                                                  const std::shared_ptr<NSDictionary>& userInfo) {
  if (!domain) zvt::raise(NSInvalidArgumentException, "*** -[NSError initWithDomain:code:userInfo:]: domain cannot be nil");
  return std::make_shared<NSError>(domain, code, userInfo ? userInfo->copy() : nullptr);
}

std::shared_ptr<NSString> NSError::localizedDescription() const {
  if (auto text = std::dynamic_pointer_cast<NSString>(userInfo_->objectForKey(NSLocalizedDescriptionKey))) return text;
  return NSString::stringWithFormat("The operation couldn\u2019t be completed. (%@ error %ld.)", domain_, code_);
}

std::shared_ptr<NSString> NSError::localizedFailureReason() const {
  return std::dynamic_pointer_cast<NSString>(userInfo_->objectForKey(NSLocalizedFailureReasonErrorKey));
}

std::shared_ptr<NSString> NSError::localizedRecoverySuggestion() const {
  return std::dynamic_pointer_cast<NSString>(userInfo_->objectForKey(NSLocalizedRecoverySuggestionErrorKey));
}

std::shared_ptr<NSError> NSError::underlyingError() const {
  return std::dynamic_pointer_cast<NSError>(userInfo_->objectForKey(NSUnderlyingErrorKey));
}

std::shared_ptr<NSString> NSError::description() const {
  std::string out = "Error Domain=" + domain_->utf8() + " Code=" + std::to_string(code_) + " \"" +
                    localizedDescription()->utf8() + "\"";
  auto pairs = userInfo_->allPairs();
  if (!pairs.empty()) {
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
      return NSStringFromObject(a.first) < NSStringFromObject(b.first);
    });
    out += " UserInfo={";
    for (size_t i = 0; i < pairs.size(); ++i) {
      if (i) out += ", ";
      out += NSStringFromObject(pairs[i].first) + "=" + NSStringFromObject(pairs[i].second);
    }
    out += "}";
  }
  return NSString::fromValidUTF8(std::move(out));
}

bool NSError::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto* error = dynamic_cast<const NSError*>(other.get());
  return error && error->code_ == code_ && error->domain_->isEqualToString(domain_) &&
         error->userInfo_->isEqualToDictionary(userInfo_);
}

NSUInteger NSError::hash() const { return domain_->hash() ^ static_cast<NSUInteger>(code_); }

id NSError::copyWithZone() const { return self(); }

void zvt::setError(std::shared_ptr<NSError>* out, const std::shared_ptr<NSString>& domain, NSInteger code,
                   const std::shared_ptr<NSString>& description) {
  if (!out) return;
  std::shared_ptr<NSDictionary> info;
  if (description) info = NSDictionary::make({{NSLocalizedDescriptionKey, description}});
  *out = NSError::errorWithDomain(domain, code, info);
}
