#include "platform/foundation/NSException.h"

#include "platform/foundation/NSDictionary.h"

NSException::NSException(std::shared_ptr<NSString> name, std::shared_ptr<NSString> reason,
                         std::shared_ptr<NSDictionary> userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)) {
  what_ = (name_ ? name_->utf8() : std::string("(null)")) + ": " + (reason_ ? reason_->utf8() : std::string("(null)"));
}

NSException::~NSException() = default;

std::shared_ptr<NSException> NSException::exceptionWithName(std::shared_ptr<NSString> name,
                                                            std::shared_ptr<NSString> reason,
                                                            std::shared_ptr<NSDictionary> userInfo) {
  return std::make_shared<NSException>(std::move(name), std::move(reason), std::move(userInfo));
}

std::shared_ptr<NSString> NSException::description() const { return reason_ ? reason_ : NSString::string(); }

void zvt::raise(const std::shared_ptr<NSString>& name, std::string reason) {
  auto text = NSString::stringWithUTF8String(std::string_view(reason));
  throw NSException(name, text ? text : NSString::fromValidUTF8(std::move(reason)));
}
