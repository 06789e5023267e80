#pragma once
// Error objects: a domain, a code and a user-info dictionary. Functions that can fail take an
// `std::shared_ptr<NSError>* error` out-parameter (may be null) and fill it only on failure.

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

// Domains.
inline const zvt::StaticString NSCocoaErrorDomain{"NSCocoaErrorDomain"};
inline const zvt::StaticString NSPOSIXErrorDomain{"NSPOSIXErrorDomain"};
inline const zvt::StaticString NSOSStatusErrorDomain{"NSOSStatusErrorDomain"};
inline const zvt::StaticString NSMachErrorDomain{"NSMachErrorDomain"};
inline const zvt::StaticString NSURLErrorDomain{"NSURLErrorDomain"};

// Standard user-info keys.
inline const zvt::StaticString NSLocalizedDescriptionKey{"NSLocalizedDescription"};
inline const zvt::StaticString NSLocalizedFailureReasonErrorKey{"NSLocalizedFailureReason"};
inline const zvt::StaticString NSLocalizedRecoverySuggestionErrorKey{"NSLocalizedRecoverySuggestion"};
inline const zvt::StaticString NSLocalizedRecoveryOptionsErrorKey{"NSLocalizedRecoveryOptions"};
inline const zvt::StaticString NSRecoveryAttempterErrorKey{"NSRecoveryAttempter"};
inline const zvt::StaticString NSHelpAnchorErrorKey{"NSHelpAnchor"};
inline const zvt::StaticString NSUnderlyingErrorKey{"NSUnderlyingError"};
inline const zvt::StaticString NSStringEncodingErrorKey{"NSStringEncodingErrorKey"};
inline const zvt::StaticString NSURLErrorKey{"NSURL"};
inline const zvt::StaticString NSFilePathErrorKey{"NSFilePath"};
inline const zvt::StaticString NSURLErrorFailingURLErrorKey{"NSErrorFailingURLKey"};
inline const zvt::StaticString NSURLErrorFailingURLStringErrorKey{"NSErrorFailingURLStringKey"};
inline const zvt::StaticString NSErrorFailingURLStringKey{"NSErrorFailingURLStringKey"};
inline const zvt::StaticString NSURLErrorFailingURLPeerTrustErrorKey{"NSURLErrorFailingURLPeerTrustErrorKey"};

// Codes of NSURLErrorDomain.
enum : NSInteger {
  NSURLErrorUnknown = -1,
  NSURLErrorCancelled = -999,
  NSURLErrorBadURL = -1000,
  NSURLErrorTimedOut = -1001,
  NSURLErrorUnsupportedURL = -1002,
  NSURLErrorCannotFindHost = -1003,
  NSURLErrorCannotConnectToHost = -1004,
  NSURLErrorNetworkConnectionLost = -1005,
  NSURLErrorDNSLookupFailed = -1006,
  NSURLErrorHTTPTooManyRedirects = -1007,
  NSURLErrorResourceUnavailable = -1008,
  NSURLErrorNotConnectedToInternet = -1009,
  NSURLErrorRedirectToNonExistentLocation = -1010,
  NSURLErrorBadServerResponse = -1011,
  NSURLErrorUserCancelledAuthentication = -1012,
  NSURLErrorUserAuthenticationRequired = -1013,
  NSURLErrorZeroByteResource = -1014,
  NSURLErrorCannotDecodeRawData = -1015,
  NSURLErrorCannotDecodeContentData = -1016,
  NSURLErrorCannotParseResponse = -1017,
  NSURLErrorFileDoesNotExist = -1100,
  NSURLErrorFileIsDirectory = -1101,
  NSURLErrorNoPermissionsToReadFile = -1102,
  NSURLErrorDataLengthExceedsMaximum = -1103,
  NSURLErrorSecureConnectionFailed = -1200,
  NSURLErrorServerCertificateHasBadDate = -1201,
  NSURLErrorServerCertificateUntrusted = -1202,
  NSURLErrorServerCertificateHasUnknownRoot = -1203,
  NSURLErrorServerCertificateNotYetValid = -1204,
  NSURLErrorClientCertificateRejected = -1205,
  NSURLErrorClientCertificateRequired = -1206,
  NSURLErrorCannotLoadFromNetwork = -2000,
  NSURLErrorCannotCreateFile = -3000,
  NSURLErrorCannotOpenFile = -3001,
  NSURLErrorCannotCloseFile = -3002,
  NSURLErrorCannotWriteToFile = -3003,
  NSURLErrorCannotRemoveFile = -3004,
  NSURLErrorCannotMoveFile = -3005,
};

// Codes of NSCocoaErrorDomain that the file and property-list code reports.
enum : NSInteger {
  NSFileNoSuchFileError = 4,
  NSFileLockingError = 255,
  NSFileReadUnknownError = 256,
  NSFileReadNoPermissionError = 257,
  NSFileReadInvalidFileNameError = 258,
  NSFileReadCorruptFileError = 259,
  NSFileReadNoSuchFileError = 260,
  NSFileReadInapplicableStringEncodingError = 261,
  NSFileWriteUnknownError = 512,
  NSFileWriteNoPermissionError = 513,
  NSFileWriteInvalidFileNameError = 514,
  NSFileWriteFileExistsError = 516,
  NSFileWriteOutOfSpaceError = 640,
  NSPropertyListReadCorruptError = 3840,
  NSPropertyListWriteInvalidError = 3851,
};

class NSError : public NSObject {
 public:
  NSError(std::shared_ptr<NSString> domain, NSInteger code, std::shared_ptr<NSDictionary> userInfo);

  static std::shared_ptr<NSError> errorWithDomain(const std::shared_ptr<NSString>& domain, NSInteger code,
                                                  const std::shared_ptr<NSDictionary>& userInfo = nullptr);
  static std::shared_ptr<NSError> initWithDomain(const std::shared_ptr<NSString>& domain, NSInteger code,
                                                 const std::shared_ptr<NSDictionary>& userInfo = nullptr) {
    return errorWithDomain(domain, code, userInfo);
  }

  const std::shared_ptr<NSString>& domain() const { return domain_; }
  NSInteger code() const { return code_; }
  // Never nil: an error made without user info has an empty dictionary.
  const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }

  // NSLocalizedDescriptionKey, else "The operation couldn’t be completed. (<domain> error <code>.)".
  std::shared_ptr<NSString> localizedDescription() const;
  std::shared_ptr<NSString> localizedFailureReason() const;
  std::shared_ptr<NSString> localizedRecoverySuggestion() const;
  std::shared_ptr<NSError> underlyingError() const;

  // "Error Domain=<domain> Code=<code> "<description>" UserInfo={k=v, ...}"
  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

 private:
  std::shared_ptr<NSString> domain_;
  NSInteger code_;
  std::shared_ptr<NSDictionary> userInfo_;
};

namespace zvt {
// Stores an error with NSLocalizedDescriptionKey = description into `out` when out is not null.
void setError(std::shared_ptr<NSError>* out, const std::shared_ptr<NSString>& domain, NSInteger code,
              const std::shared_ptr<NSString>& description);
inline void setError(std::shared_ptr<NSError>* out, const std::shared_ptr<NSError>& error) {
  if (out) *out = error;
}
}  // namespace zvt
